// HEIF reader: header queries and decoding of the primary image through libheif.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/entry.h"
#include "core/io.h"
#include "core/operation.h"
#include "pixolith/px_heif.h"
#include "pixolith/px_orientation.h"
#include "readers/alpha.h"
#include "readers/file_bytes.h"
#include "readers/heif/heif_header.h"
#include "readers/heif/heif_library.h"
#include "readers/raster_output.h"

namespace {

using namespace pxheif;

// The loaded library; a machine without it cannot read HEIF files.
const Libheif& Heif() {
  const Libheif* lib = LoadLibheif();
  if (!lib) throw PXException(PX_ERR_HEIF_SUBFORMAT, "libheif is not installed");
  return *lib;
}

// Only what a loaded library made is ever released.
struct ContextDeleter {
  void operator()(heif_context* c) const { LoadLibheif()->heif_context_free(c); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* h) const { LoadLibheif()->heif_image_handle_release(h); }
};
struct ImageDeleter {
  void operator()(heif_image* i) const { LoadLibheif()->heif_image_release(i); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* o) const { LoadLibheif()->heif_decoding_options_free(o); }
};

// The library's code for what libheif refused.
int CodeOf(const heif_error& e) {
  switch (e.code) {
    case heif_error_Memory_allocation_error:
      return PX_ERR_NO_MEMORY;
    case heif_error_Unsupported_feature:
      return PX_ERR_HEIF_SUBFORMAT;
    case heif_error_Invalid_input:
    case heif_error_Unsupported_filetype:
    case heif_error_Decoder_plugin_error:
      return PX_ERR_BAD_HEIF;
    default:
      return PX_ERR_UNEXPECTED;
  }
}

// A file opened by libheif, with its primary image.
class HEIFFile {
 public:
  // Reads the file from the source's position and opens its primary image; throws
  // PXException with the code of what went wrong. Takes the orientation into `state`.
  HEIFFile(CPXIO& io, PXThreadState& state);

  const Header& header() const { return header_; }
  const FileType& type() const { return type_; }
  heif_context* context() const { return context_.get(); }
  heif_image_handle* primary() const { return primary_.get(); }
  uint64_t fileBytes() const { return data_.size(); }

  void Check(const heif_error& e) const {
    if (e.code != heif_error_Ok) throw PXException(CodeOf(e), e.message ? e.message : "");
  }

 private:
  std::vector<uint8_t> data_;
  FileType type_;
  std::unique_ptr<heif_context, ContextDeleter> context_;
  std::unique_ptr<heif_image_handle, HandleDeleter> primary_;
  Header header_;
};

HEIFFile::HEIFFile(CPXIO& io, PXThreadState& state) {
  state.heif.orientationRead = PX_ORIENTATION_TOP_LEFT;
  px::AppendBytes(io, io.Remaining(), data_);
  if (!ReadFileType(data_.data(), data_.size(), &type_))
    throw PXException(PX_ERR_BAD_HEIF, "No file type box");
  // libheif 1.15 reads the still images of a file (in its meta box) only, not the tracks
  // of a sequence.
  if (type_.sequence && !HasTopLevelBox(data_.data(), data_.size(), "meta"))
    throw PXException(PX_ERR_HEIF_SUBFORMAT, "An image sequence without a still image");
  context_.reset(Heif().heif_context_alloc());
  if (!context_) throw PXException(PX_ERR_NO_MEMORY, "No HEIF context");
  Heif().heif_context_set_maximum_image_size_limit(context_.get(), kMaxDimension);
  Check(Heif().heif_context_read_from_memory_without_copy(context_.get(), data_.data(),
                                                          data_.size(), nullptr));
  heif_image_handle* handle = nullptr;
  Check(Heif().heif_context_get_primary_image_handle(context_.get(), &handle));
  primary_.reset(handle);
  header_.width = Heif().heif_image_handle_get_width(handle);
  header_.height = Heif().heif_image_handle_get_height(handle);
  header_.alpha = Heif().heif_image_handle_has_alpha_channel(handle) != 0;
  LargestCanvas(data_.data(), data_.size(), &header_.canvasWidth, &header_.canvasHeight);
  LargestCodedPicture(data_.data(), data_.size(), &header_.codedWidth, &header_.codedHeight);
  heif_item_id id = 0;
  if (Heif().heif_context_get_primary_image_ID(context_.get(), &id).code == heif_error_Ok)
    state.heif.orientationRead = ItemOrientation(data_.data(), data_.size(), id);
}

/* ---- Reading ---------------------------------------------------------------------------- */

class HEIFReader {
 public:
  HEIFReader(px::Operation& op, CPXIO& io, DWORD flags) : op_(op), io_(io), flags_(flags) {}

  BYTE* Read(uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette);

 private:
  // Decodes the primary image in the colour form the output depth needs.
  void Decode(const HEIFFile& file, bool grey, bool alpha);
  // Stores every row of the decoded plane (grey, RGB, or RGBA when `alpha`) with progress.
  void StoreRows(bool grey, bool alpha, bool premultiplied);

  px::Operation& op_;
  CPXIO& io_;
  DWORD flags_;
  int depth_ = 24;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::unique_ptr<heif_image, ImageDeleter> image_;
  px::RasterOutput out_;
};

void HEIFReader::Decode(const HEIFFile& file, bool grey, bool alpha) {
  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(
      Heif().heif_decoding_options_alloc());
  if (!options) throw PXException(PX_ERR_NO_MEMORY, "No decoding options");
  options->convert_hdr_to_8bit = 1;
  heif_image* image = nullptr;
  // Grey output takes the image as coded, to see whether it is monochrome.
  file.Check(Heif().heif_decode_image(
      file.primary(), &image, grey ? heif_colorspace_undefined : heif_colorspace_RGB,
      grey ? heif_chroma_undefined
           : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB),
      options.get()));
  image_.reset(image);
  if (grey && Heif().heif_image_get_colorspace(image) != heif_colorspace_monochrome)
    throw PXException(PX_ERR_BIT_DEPTH, "A colour HEIF image has no grey form");
  const heif_channel channel = grey ? heif_channel_Y : heif_channel_interleaved;
  if (uint32_t(Heif().heif_image_get_width(image, channel)) != width_ ||
      uint32_t(Heif().heif_image_get_height(image, channel)) != height_)
    throw PXException(PX_ERR_BAD_HEIF, "Decoded size differs from the header");
}

void HEIFReader::StoreRows(bool grey, bool alpha, bool premultiplied) {
  const heif_channel channel = grey ? heif_channel_Y : heif_channel_interleaved;
  int stride = 0;
  const uint8_t* plane = Heif().heif_image_get_plane_readonly(image_.get(), channel, &stride);
  const int bits = Heif().heif_image_get_bits_per_pixel_range(image_.get(), channel);
  if (!plane || stride <= 0 || bits < 1 || bits > 16 || (!grey && bits != 8))
    throw PXException(PX_ERR_HEIF_SUBFORMAT, "Unexpected decoded plane");
  const uint32_t channels = grey ? 1 : alpha ? 4 : 3;
  std::vector<uint8_t> row(size_t(width_) * std::max(channels, 3u));
  std::vector<uint8_t> rgb(size_t(width_) * 3);
  for (uint32_t y = 0; y < height_; ++y) {
    const uint8_t* src = plane + size_t(y) * size_t(stride);
    if (grey && bits > 8) {
      // Deeper samples come as 16-bit values in the machine's order.
      for (uint32_t x = 0; x < width_; ++x) {
        uint16_t v;
        std::memcpy(&v, src + 2 * size_t(x), 2);
        row[x] = uint8_t(std::min<uint32_t>(v >> (bits - 8), 255));
      }
    } else {
      std::memcpy(row.data(), src, size_t(width_) * channels);
    }
    if (grey && depth_ != 8) {
      // Expand to RGB (and opaque alpha) from the back, in place.
      const uint32_t step = uint32_t(depth_ / 8);
      for (uint32_t x = width_; x-- > 0;) {
        uint8_t* p = row.data() + size_t(x) * step;
        const uint8_t v = row[x];
        p[0] = p[1] = p[2] = v;
        if (step == 4) p[3] = 255;
      }
    }
    if (alpha && premultiplied) {
      for (uint32_t x = 0; x < width_; ++x) {
        uint8_t* p = row.data() + 4 * size_t(x);
        for (int c = 0; c < 3 && p[3]; ++c) p[c] = uint8_t(std::min(255, p[c] * 255 / p[3]));
      }
    }
    const uint8_t* stored = row.data();
    if (alpha && depth_ == 24) {
      px::RGBAOnWhite(row.data(), rgb.data(), width_);
      stored = rgb.data();
    }
    out_.StoreRow(y, stored);
    if (!op_.Progress(y, height_)) return;
  }
}

BYTE* HEIFReader::Read(uint32_t* width, uint32_t* height, int depth, RGBQUAD* palette) {
  const HEIFFile file(io_, op_.state());
  const Header& h = file.header();
  if (int e = CheckHeader(h, depth, flags_, file.fileBytes()))
    throw PXException(e, "HEIF image refused");
  depth_ = OutputDepth(h, depth, flags_);
  width_ = uint32_t(h.width);
  height_ = uint32_t(h.height);
  const bool grey = depth_ == 8;
  // Decoded with alpha when the image has it or the output keeps a fourth channel.
  const bool alpha = !grey && (h.alpha || depth_ == 32);
  Decode(file, grey, alpha);
  const bool premultiplied =
      h.alpha && Heif().heif_image_handle_is_premultiplied_alpha(file.primary());
  if (grey) {
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  }
  if (!out_.Allocate(op_, width_, height_, uint32_t(depth_), flags_ & PX_HEIF_DIB)) return nullptr;
  StoreRows(grey, alpha, premultiplied);
  return out_.Release(width, height);
}

BOOL GetDimensions(PXSource source, uint32_t* width, uint32_t* height, uint32_t* bitsPerPixel,
                   char* brand, uint32_t* bitsPerSample, uint32_t* imageCount) {
  return px::RunEntry<BOOL>(
      source, FALSE, {width, height, bitsPerPixel}, [&](px::Operation& op, CPXIO& io) {
        const HEIFFile file(io, op.state());
        const Header& h = file.header();
        if (h.width <= 0 || h.height <= 0) {
          op.SetError(PX_ERR_BAD_HEIF);
          return FALSE;
        }
        *width = uint32_t(h.width);
        *height = uint32_t(h.height);
        *bitsPerPixel = FileBits(h);
        if (brand) std::memcpy(brand, file.type().major, 5);
        if (bitsPerSample)
          *bitsPerSample = uint32_t(
              std::max(Heif().heif_image_handle_get_luma_bits_per_pixel(file.primary()), 0));
        if (imageCount)
          *imageCount = uint32_t(
              std::max(Heif().heif_context_get_number_of_top_level_images(file.context()), 0));
        return TRUE;
      });
}

}  // namespace

extern "C" BOOL PXGetHEIFDimensions(PXSource source, uint32_t* width, uint32_t* height,
                                    uint32_t* bitsPerPixel) {
  return GetDimensions(source, width, height, bitsPerPixel, nullptr, nullptr, nullptr);
}

extern "C" BOOL PXGetHEIFDimensionsEx(PXSource source, uint32_t* width, uint32_t* height,
                                      uint32_t* bitsPerPixel, char* brand, uint32_t* bitsPerSample,
                                      uint32_t* imageCount) {
  return GetDimensions(source, width, height, bitsPerPixel, brand, bitsPerSample, imageCount);
}

extern "C" BYTE* PXReadHEIF(PXSource source, uint32_t* width, uint32_t* height, int depth,
                            RGBQUAD* palette, DWORD flags) {
  return px::RunReader(source, width, height, [&](px::Operation& op, CPXIO& io) -> BYTE* {
    if (depth != 8 && depth != 24 && depth != 32) return op.SetError(PX_ERR_PARAMETER), nullptr;
    if (depth == 8 && !(flags & PX_HEIF_DIB) && !palette)
      return op.SetError(PX_ERR_PARAMETER), nullptr;
    op.state().heif.orientationRead = PX_ORIENTATION_TOP_LEFT;
    return HEIFReader(op, io, flags).Read(width, height, depth, palette);
  });
}

extern "C" int PXGetLastHEIFOrientation(void) {
  PXThreadState* state = px::GetThreadState();
  return state ? state->heif.orientationRead : PX_ORIENTATION_TOP_LEFT;
}
