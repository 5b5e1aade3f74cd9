// A JPEG file as a TIFF page without decoding it: the stream from its start-of-image to
// its end-of-image marker becomes the page's one strip, which TIFF readers hand to
// libjpeg as it is. Only streams every such reader decodes alike are taken: sequential
// Huffman coding of 8-bit grey or YCbCr samples, chroma at full resolution of the
// subsampled grid TIFF can describe.
#include <cstring>
#include <memory>
#include <new>

#include "pixolith/px_streams.h"
#include "pixolith/px_tiff.h"
#include "readers/jpeg/jpeg_decoder.h"
#include "writers/tiff/jpeg_stream.h"
#include "writers/tiff/tiff_writer.h"

namespace pxtiffw {

namespace {

// What the frame header says, as libjpeg reads it.
struct JPEGFrame {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t components = 0;
  bool copyable = false;
  uint16_t subsampling[2] = {1, 1};
};

bool IsSubsampling(int factor) {
  return factor == 1 || factor == 2 || factor == 4;
}

void ReadHeader(JPEGDecoder* d, void*) {
  jpeg_read_header(&d->cinfo, TRUE);
}

// Reads the frame header; throws PXException(PX_ERR_BAD_JPEG) when libjpeg refuses it.
JPEGFrame ReadFrame(PXSource source) {
  CPXIO io(source);
  if (!io.Rewind()) throw PXException(PX_ERR_FILE_READ, "No seek");
  JPEGDecoderOwner owner;
  JPEGDecoder* d = owner.Create(io, false, PX_ERR_BAD_JPEG);
  JPEGRun(d, PX_ERR_BAD_JPEG, ReadHeader);
  const jpeg_decompress_struct& c = d->cinfo;
  JPEGFrame frame;
  frame.width = c.image_width;
  frame.height = c.image_height;
  frame.components = uint32_t(c.num_components);
  const jpeg_component_info* comp = c.comp_info;
  const bool sequential8 = c.data_precision == 8 && !c.progressive_mode && !c.arith_code;
  if (!sequential8 || !frame.width || !frame.height) return frame;
  if (c.num_components == 1 && c.jpeg_color_space == JCS_GRAYSCALE) {
    // A grey page has no subsampling tags: its one component must not claim any.
    frame.copyable = comp[0].h_samp_factor == 1 && comp[0].v_samp_factor == 1;
  } else if (c.num_components == 3 && c.jpeg_color_space == JCS_YCbCr) {
    const int h = comp[0].h_samp_factor, v = comp[0].v_samp_factor;
    frame.copyable = IsSubsampling(h) && IsSubsampling(v) && v <= h && comp[1].h_samp_factor == 1 &&
                     comp[1].v_samp_factor == 1 && comp[2].h_samp_factor == 1 &&
                     comp[2].v_samp_factor == 1;
    frame.subsampling[0] = uint16_t(h);
    frame.subsampling[1] = uint16_t(v);
  }
  return frame;
}

// The whole file; throws PXException when it cannot be read or held.
PageBytes ReadWhole(PXSource source) {
  CPXIO io(source);
  uint64_t size = 0;
  if (!io.Size(&size) || !io.Rewind()) throw PXException(PX_ERR_FILE_READ, "No size");
  if (size > PX_MAX_GLOBAL_BLOCK) throw PXException(PX_ERR_NO_MEMORY, "File too large");
  PageBytes bytes(static_cast<size_t>(size));
  if (!io.ReadExactly(bytes.data(), bytes.size()))
    throw PXException(PX_ERR_FILE_READ, "Short file");
  return bytes;
}

// The facts of the file, and (when copyable) its stream cut after the end-of-image.
PXStoredPage SurveyJPEG(PXSource source, JPEGFrame* frame, PageBytes* stream) {
  *frame = ReadFrame(source);
  PXStoredPage stored = {};
  stored.width = frame->width;
  stored.height = frame->height;
  stored.bitsPerPixel = 8 * frame->components;
  stored.compression = COMPRESSION_JPEG;
  if (!frame->copyable) return stored;
  *stream = ReadWhole(source);
  JPEGStream walk;
  if (!WalkJPEGStream(stream->data(), stream->size(), &walk) || walk.frames != 1 ||
      !walk.sequential || walk.numberOfLines)
    return stored;
  stream->resize(walk.end);  // nothing after the end-of-image marker
  stored.copyable = 1;
  return stored;
}

// Runs a JPEG survey in an operation: the library's codes for exceptions.
template <class Body>
auto Guarded(px::Operation& op, Body body) -> decltype(body()) {
  try {
    return body();
  } catch (const PXException& e) {
    op.SetError(e.code());
  } catch (const std::bad_alloc&) {
    op.SetError(PX_ERR_NO_MEMORY);
  }
  return {};
}

}  // namespace

}  // namespace pxtiffw

using namespace pxtiffw;

extern "C" BOOL PXGetJPEGStoredPage(PXSource source, PXStoredPage* stored) {
  px::Operation op;
  if (!op) return FALSE;
  if (!op.CheckHandle(source)) return FALSE;
  if (!stored) return op.SetError(PX_ERR_PARAMETER), FALSE;
  return Guarded(op, [&]() -> BOOL {
    JPEGFrame frame;
    PageBytes stream;
    *stored = SurveyJPEG(source, &frame, &stream);
    op.SetError(PX_OK);
    return TRUE;
  });
}

extern "C" PXTIFFEncodedPage* PXCopyJPEGPageIf(PXSource source, const PXResolution* resolution,
                                               uint32_t flags, PXStoredPageFilter accept,
                                               void* user) {
  px::Operation op;
  if (!op) return nullptr;
  if (!op.CheckHandle(source)) return nullptr;
  return Guarded(op, [&]() -> PXTIFFEncodedPage* {
    JPEGFrame frame;
    auto encoded = std::make_unique<PXTIFFEncodedPage>();
    EncodedPage& page = encoded->page;
    const PXStoredPage stored = SurveyJPEG(source, &frame, &page.data);
    if (!stored.copyable) return op.SetError(PX_ERR_PARAMETER), nullptr;
    if (accept && !accept(&stored, user)) return op.SetError(PX_OK), nullptr;
    page.ends = {page.data.size()};
    DescribeStored(stored, resolution, flags, &page);
    StoredTags& t = page.storedTags;
    t.compression = COMPRESSION_JPEG;
    t.bitsPerSample = 8;
    t.samplesPerPixel = uint16_t(frame.components);
    t.rowsPerStrip = frame.height;
    if (frame.components == 3) {
      t.photometric = PHOTOMETRIC_YCBCR;
      t.subsampling[0] = frame.subsampling[0];
      t.subsampling[1] = frame.subsampling[1];
      // What libtiff itself writes with JPEG-compressed YCbCr pages.
      t.hasReferenceBlackWhite = true;
      const float reference[6] = {0, 255, 128, 255, 128, 255};
      std::copy(reference, reference + 6, t.referenceBlackWhite);
    } else {
      t.photometric = PHOTOMETRIC_MINISBLACK;
    }
    op.SetError(PX_OK);
    return encoded.release();
  });
}

extern "C" PXTIFFEncodedPage* PXCopyJPEGPage(PXSource source, const PXResolution* resolution,
                                             uint32_t flags) {
  return PXCopyJPEGPageIf(source, resolution, flags, nullptr, nullptr);
}

extern "C" BYTE* PXReadJPEGStream(PXSource source, PXStoredPage* stored, uint32_t* size) {
  px::Operation op;
  if (!op) return nullptr;
  if (!op.CheckHandle(source)) return nullptr;
  if (!size) return op.SetError(PX_ERR_PARAMETER), nullptr;
  return Guarded(op, [&]() -> BYTE* {
    JPEGFrame frame;
    PageBytes stream;
    const PXStoredPage facts = SurveyJPEG(source, &frame, &stream);
    if (stored) *stored = facts;
    if (!facts.copyable) return op.SetError(PX_ERR_PARAMETER), nullptr;
    px::Block block(stream.size());
    if (!block) return op.SetError(PX_ERR_NO_MEMORY), nullptr;
    std::memcpy(block.get(), stream.data(), stream.size());
    *size = uint32_t(stream.size());
    op.SetError(PX_OK);
    return block.Release();
  });
}
