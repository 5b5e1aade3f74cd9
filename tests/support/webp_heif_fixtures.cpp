#include "webp_heif_fixtures.h"

#include <libheif/heif.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace pxtest {

namespace {

void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

void Require(const heif_error& e, const char* what) {
  if (e.code != heif_error_Ok) throw std::runtime_error(std::string(what) + ": " + e.message);
}

}  // namespace

std::vector<uint8_t> TestRGBA(uint32_t width, uint32_t height, bool alpha, uint32_t seed) {
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
      p[0] = uint8_t(x * 255 / (width > 1 ? width - 1 : 1));
      p[1] = uint8_t(y * 255 / (height > 1 ? height - 1 : 1));
      p[2] = uint8_t(((x / 4 + y / 4 + seed) % 2) ? 200 : 40);
      p[3] = alpha ? uint8_t((x + y * 3 + seed * 50) % 256) : 255;
    }
  }
  return rgba;
}

std::vector<uint8_t> EncodeWebP(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba,
                                const WebPOptions& options) {
  WebPConfig config;
  Require(WebPConfigInit(&config), "WebPConfigInit");
  config.lossless = options.lossless;
  config.quality = float(options.lossless ? 75 : options.quality);
  config.exact = 1;  // keep the colour of clear pixels, for pixel-for-pixel comparisons
  WebPPicture picture;
  Require(WebPPictureInit(&picture), "WebPPictureInit");
  picture.use_argb = 1;
  picture.width = int(width);
  picture.height = int(height);
  bool imported = options.alpha ? WebPPictureImportRGBA(&picture, rgba.data(), int(width) * 4)
                                : WebPPictureImportRGBX(&picture, rgba.data(), int(width) * 4);
  Require(imported, "WebPPictureImport");
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool encoded = WebPEncode(&config, &picture);
  WebPPictureFree(&picture);
  std::vector<uint8_t> file(writer.mem, writer.mem + writer.size);
  WebPMemoryWriterClear(&writer);
  Require(encoded, "WebPEncode");
  if (options.exif.empty()) return file;

  WebPData image = {file.data(), file.size()};
  WebPMux* mux = WebPMuxCreate(&image, 1);
  Require(mux != nullptr, "WebPMuxCreate");
  WebPData exif = {options.exif.data(), options.exif.size()};
  WebPData assembled = {nullptr, 0};
  const bool ok = WebPMuxSetChunk(mux, "EXIF", &exif, 1) == WEBP_MUX_OK &&
                  WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK;
  WebPMuxDelete(mux);
  Require(ok, "WebPMux EXIF");
  std::vector<uint8_t> withExif(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return withExif;
}

std::vector<uint8_t> EncodeAnimatedWebP(uint32_t width, uint32_t height,
                                        const std::vector<std::vector<uint8_t>>& frames) {
  WebPAnimEncoderOptions animOptions;
  Require(WebPAnimEncoderOptionsInit(&animOptions), "WebPAnimEncoderOptionsInit");
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(int(width), int(height), &animOptions);
  Require(encoder != nullptr, "WebPAnimEncoderNew");
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  config.exact = 1;
  int timestamp = 0;
  bool ok = true;
  for (const std::vector<uint8_t>& rgba : frames) {
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = int(width);
    picture.height = int(height);
    ok = ok && WebPPictureImportRGBA(&picture, rgba.data(), int(width) * 4) &&
         WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
    WebPPictureFree(&picture);
    timestamp += 100;
  }
  WebPData data = {nullptr, 0};
  ok = ok && WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr) &&
       WebPAnimEncoderAssemble(encoder, &data);
  WebPAnimEncoderDelete(encoder);
  Require(ok, "WebPAnimEncoder");
  std::vector<uint8_t> file(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  return file;
}

std::vector<uint8_t> EncodeHEIF(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba,
                                const HEIFOptions& options) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  Require(heif_context_get_encoder_for_format(
              context,
              options.coding == HEIFCoding::kAV1 ? heif_compression_AV1 : heif_compression_HEVC,
              &encoder),
          "encoder");
  if (options.lossless) {
    Require(heif_encoder_set_lossless(encoder, 1), "lossless");
    Require(heif_encoder_set_parameter(encoder, "chroma", "444"), "chroma");
  } else {
    Require(heif_encoder_set_lossy_quality(encoder, options.quality), "quality");
  }
  // aom's slowest settings take seconds even for small pictures.
  if (options.coding == HEIFCoding::kAV1) heif_encoder_set_parameter(encoder, "speed", "9");

  heif_image* image = nullptr;
  if (options.bitDepth > 8) {
    Require(heif_image_create(int(width), int(height), heif_colorspace_RGB,
                              heif_chroma_interleaved_RRGGBB_LE, &image),
            "image");
    Require(heif_image_add_plane(image, heif_channel_interleaved, int(width), int(height),
                                 options.bitDepth),
            "plane");
    int deepStride = 0;
    uint8_t* deep = heif_image_get_plane(image, heif_channel_interleaved, &deepStride);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) {
          const uint32_t v = uint32_t(rgba[(size_t(y) * width + x) * 4 + size_t(c)])
                             << (options.bitDepth - 8);
          uint8_t* p = deep + size_t(y) * size_t(deepStride) + (x * 3 + size_t(c)) * 2;
          p[0] = uint8_t(v);
          p[1] = uint8_t(v >> 8);
        }
  } else if (options.monochrome) {
    Require(heif_image_create(int(width), int(height), heif_colorspace_monochrome,
                              heif_chroma_monochrome, &image),
            "image");
    Require(heif_image_add_plane(image, heif_channel_Y, int(width), int(height), 8), "plane");
  } else {
    Require(heif_image_create(
                int(width), int(height), heif_colorspace_RGB,
                options.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image),
            "image");
    Require(heif_image_add_plane(image, heif_channel_interleaved, int(width), int(height), 8),
            "plane");
  }
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(
      image, options.monochrome ? heif_channel_Y : heif_channel_interleaved, &stride);
  const int channels = options.bitDepth > 8 ? 0 : options.monochrome ? 1 : options.alpha ? 4 : 3;
  for (uint32_t y = 0; y < height && channels; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c)
        plane[size_t(y) * size_t(stride) + x * size_t(channels) + size_t(c)] =
            rgba[(size_t(y) * width + x) * 4 + size_t(c)];

  heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
  if (options.lossless && !options.monochrome) {
    nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
    nclx->full_range_flag = 1;
    Require(heif_image_set_nclx_color_profile(image, nclx), "nclx");
  }
  heif_encoding_options* encoding = heif_encoding_options_alloc();
  encoding->image_orientation = heif_orientation(options.orientation);
  encoding->output_nclx_profile = options.lossless && !options.monochrome ? nclx : nullptr;
  Require(heif_context_encode_image(context, image, encoder, encoding, nullptr), "encode");
  heif_encoding_options_free(encoding);
  heif_nclx_color_profile_free(nclx);
  heif_image_release(image);
  heif_encoder_release(encoder);

  std::vector<uint8_t> file;
  heif_writer writer = {};
  writer.writer_api_version = 1;
  writer.write = [](heif_context*, const void* data, size_t size, void* out) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(out);
    bytes->insert(bytes->end(), static_cast<const uint8_t*>(data),
                  static_cast<const uint8_t*>(data) + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
  };
  Require(heif_context_write(context, &writer, &file), "write");
  heif_context_free(context);
  return file;
}

std::vector<uint8_t> Channels(const std::vector<uint8_t>& rgba, int first, int count) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 4 <= rgba.size(); i += 4)
    for (int c = first; c < first + count; ++c) out.push_back(rgba[i + size_t(c)]);
  return out;
}

std::vector<uint8_t> OnWhite(const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i + 4 <= rgba.size(); i += 4) {
    const double a = rgba[i + 3] / 255.0;
    for (int c = 0; c < 3; ++c) rgb.push_back(uint8_t(rgba[i + c] * a + 255 * (1 - a) + 0.5));
  }
  return rgb;
}

std::vector<uint8_t> DecodeHEIFDirect(const std::vector<uint8_t>& file, bool transformed,
                                      uint32_t* width, uint32_t* height) {
  heif_context* context = heif_context_alloc();
  Require(heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr),
          "read");
  heif_image_handle* handle = nullptr;
  Require(heif_context_get_primary_image_handle(context, &handle), "primary");
  heif_decoding_options* options = heif_decoding_options_alloc();
  options->ignore_transformations = !transformed;
  heif_image* image = nullptr;
  Require(
      heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options),
      "decode");
  heif_decoding_options_free(options);
  *width = uint32_t(heif_image_get_width(image, heif_channel_interleaved));
  *height = uint32_t(heif_image_get_height(image, heif_channel_interleaved));
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
  std::vector<uint8_t> rgba(size_t(*width) * *height * 4);
  for (uint32_t y = 0; y < *height; ++y)
    std::memcpy(&rgba[size_t(y) * *width * 4], plane + size_t(y) * size_t(stride),
                size_t(*width) * 4);
  heif_image_release(image);
  heif_image_handle_release(handle);
  heif_context_free(context);
  return rgba;
}

}  // namespace pxtest
