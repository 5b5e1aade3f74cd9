// WebP reader: header queries and decoding through libwebp, its demuxer for animations
// and the EXIF chunk.
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_orientation.h"
#include "pixolith/px_webp.h"
#include "readers/alpha.h"
#include "readers/file_bytes.h"
#include "readers/raster_output.h"
#include "readers/webp/webp_header.h"

namespace {

using namespace pxwebp;

// Bytes handed to the incremental decoder at a time: progress comes between them.
constexpr size_t kFeedBytes = 64 * 1024;

struct DemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct IDecoderDeleter {
  void operator()(WebPIDecoder* d) const { WebPIDelete(d); }
};
struct AnimDecoderDeleter {
  void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

// The file from the source's position up to the end its RIFF header declares (or of the
// source, when it is cut short): libwebp decodes from memory.
std::vector<uint8_t> ReadFileBytes(CPXIO& io) {
  std::vector<uint8_t> data;
  px::AppendBytes(io, 12, data);
  if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 ||
      std::memcmp(data.data() + 8, "WEBP", 4) != 0)
    throw PXException(PX_ERR_BAD_WEBP, "Not a WebP file");
  const uint64_t declared = uint64_t(px::LE32(data.data() + 4)) + 8;
  if (declared > 12) px::AppendBytes(io, declared - 12, data);
  return data;
}

// The header facts, and the EXIF orientation into this thread's state.
Header ParseHeader(const std::vector<uint8_t>& data, PXThreadState& state) {
  state.webp.orientationRead = PX_ORIENTATION_TOP_LEFT;
  WebPBitstreamFeatures f;
  if (WebPGetFeatures(data.data(), data.size(), &f) != VP8_STATUS_OK)
    throw PXException(PX_ERR_BAD_WEBP, "WebP header refused");
  Header h;
  h.width = uint32_t(std::max(f.width, 0));
  h.height = uint32_t(std::max(f.height, 0));
  h.alpha = f.has_alpha;
  h.animated = f.has_animation;
  h.lossless = f.format == 2;
  // The demuxer takes files cut short too; it tells the frames and chunks it has seen.
  const WebPData whole = {data.data(), data.size()};
  std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&whole, nullptr));
  if (!demux) return h;
  h.frames = std::max<uint32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT), 1);
  WebPChunkIterator exif;
  if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &exif)) {
    state.webp.orientationRead = PXGetExifOrientation(exif.chunk.bytes, exif.chunk.size);
    WebPDemuxReleaseChunkIterator(&exif);
  }
  return h;
}

/* ---- Reading ---------------------------------------------------------------------------- */

class WebPReader {
 public:
  WebPReader(px::Operation& op, CPXIO& io, DWORD flags) : op_(op), io_(io), flags_(flags) {}

  BYTE* Read(uint32_t* width, uint32_t* height, int depth);

 private:
  // Decodes a still image through the incremental decoder, storing rows as they come.
  void DecodeStill();
  // Decodes the first frame of an animation onto its canvas and stores it.
  void DecodeFirstFrame();
  // Stores decoded rows [done_, upTo) of `pixels` (libwebp's RGB or RGBA) with progress;
  // false when the callback stopped the read.
  bool StoreRows(const uint8_t* pixels, size_t stride, uint32_t upTo);

  px::Operation& op_;
  CPXIO& io_;
  DWORD flags_;
  std::vector<uint8_t> data_;
  Header header_;
  int depth_ = 24;
  bool decodeAlpha_ = false;  // libwebp hands out RGBA
  px::RasterOutput out_;
  std::vector<uint8_t> row_;
  uint32_t done_ = 0;  // rows stored
};

bool WebPReader::StoreRows(const uint8_t* pixels, size_t stride, uint32_t upTo) {
  const bool composite = decodeAlpha_ && depth_ == 24;
  for (; done_ < upTo; ++done_) {
    const uint8_t* row = pixels + size_t(done_) * stride;
    if (composite) {
      px::RGBAOnWhite(row, row_.data(), header_.width);
      row = row_.data();
    }
    out_.StoreRow(done_, row);
    if (!op_.Progress(done_, header_.height)) return false;
  }
  return true;
}

void WebPReader::DecodeStill() {
  std::unique_ptr<WebPIDecoder, IDecoderDeleter> decoder(
      WebPINewRGB(decodeAlpha_ ? MODE_RGBA : MODE_RGB, nullptr, 0, 0));
  if (!decoder) throw PXException(PX_ERR_NO_MEMORY, "No WebP decoder");
  VP8StatusCode status = VP8_STATUS_SUSPENDED;
  for (size_t given = 0; status == VP8_STATUS_SUSPENDED && given < data_.size();) {
    given = std::min(data_.size(), given + kFeedBytes);
    status = WebPIUpdate(decoder.get(), data_.data(), given);
    int lastY = 0, w = 0, h = 0, stride = 0;
    const uint8_t* pixels = WebPIDecGetRGB(decoder.get(), &lastY, &w, &h, &stride);
    if (pixels && uint32_t(w) == header_.width && uint32_t(h) == header_.height &&
        !StoreRows(pixels, size_t(stride), uint32_t(std::clamp(lastY, 0, h))))
      return;
  }
  // Suspended after the last byte: the file is cut short; the rows so far stay.
  if (status != VP8_STATUS_OK || done_ != header_.height) op_.SetError(PX_ERR_BAD_WEBP);
}

void WebPReader::DecodeFirstFrame() {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) throw PXException(PX_ERR_UNEXPECTED, "libwebp");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const WebPData whole = {data_.data(), data_.size()};
  std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(
      WebPAnimDecoderNew(&whole, &options));
  WebPAnimInfo info;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) ||
      info.canvas_width != header_.width || info.canvas_height != header_.height)
    throw PXException(PX_ERR_BAD_WEBP, "WebP animation refused");
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas)
    throw PXException(PX_ERR_BAD_WEBP, "WebP frame refused");
  StoreRows(canvas, size_t(header_.width) * 4, header_.height);
}

BYTE* WebPReader::Read(uint32_t* width, uint32_t* height, int depth) {
  data_ = ReadFileBytes(io_);
  header_ = ParseHeader(data_, op_.state());
  if (int e = CheckHeader(header_, depth, flags_, data_.size()))
    throw PXException(e, "WebP image refused");
  depth_ = OutputDepth(header_, depth, flags_);
  // An animation's canvas is always RGBA; a still image is decoded with alpha when the
  // file has some or the output keeps it.
  decodeAlpha_ = header_.animated || header_.alpha || depth_ == 32;
  row_.resize(size_t(header_.width) * 3);
  if (!out_.Allocate(op_, header_.width, header_.height, uint32_t(depth_), flags_ & PX_WEBP_DIB))
    return nullptr;
  if (header_.animated) {
    DecodeFirstFrame();
  } else {
    DecodeStill();
  }
  return out_.Release(width, height);
}

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                   uint32_t* codingFlags, uint32_t* frameCount) {
  return px::RunEntry<BOOL>(
      source, FALSE, {width, height, bitsPerPixel}, [&](px::Operation& op, CPXIO& io) {
        op.state().webp.orientationRead = PX_ORIENTATION_TOP_LEFT;
        const Header h = ParseHeader(ReadFileBytes(io), op.state());
        *width = h.width;
        *height = h.height;
        *bitsPerPixel = FileBits(h);
        if (codingFlags)
          *codingFlags = (h.lossless ? PX_WEBP_LOSSLESS : 0u) |
                         (h.animated ? PX_WEBP_ANIMATED : 0u) | (h.alpha ? PX_WEBP_ALPHA : 0u);
        if (frameCount) *frameCount = h.frames;
        return TRUE;
      });
}

}  // namespace

extern "C" BOOL PXGetWebPDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                    uint32_t* bitsPerPixel) {
  return GetDimensions(source, width, height, bitsPerPixel, nullptr, nullptr);
}

extern "C" BOOL PXGetWebPDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                                      uint32_t* bitsPerPixel, uint32_t* codingFlags,
                                      uint32_t* frameCount) {
  return GetDimensions(source, width, height, bitsPerPixel, codingFlags, frameCount);
}

extern "C" BYTE* PXReadWebP(PXSource source, uint32_t* width, uint32_t* height, int depth,
                            DWORD flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) -> BYTE* {
    if (depth != 8 && depth != 24 && depth != 32) return op.SetError(PX_ERR_PARAMETER), nullptr;
    op.state().webp.orientationRead = PX_ORIENTATION_TOP_LEFT;
    return WebPReader(op, io, flags).Read(width, height, depth);
  });
}

extern "C" int PXGetLastWebPOrientation(void) {
  PXThreadState* state = px::GetThreadState();
  return state ? state->webp.orientationRead : PX_ORIENTATION_TOP_LEFT;
}
