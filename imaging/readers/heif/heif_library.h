// libheif, loaded when the first HEIF file is read. Linked into every program it would
// load its codec libraries and run their set-up (tens of millions of instructions) at
// every start, although most runs never see a HEIF file.
#pragma once

#include <libheif/heif.h>

namespace pxheif {

// The libheif calls the reader makes, under their own names.
#define PXHEIF_CALLS(X)                          \
  X(heif_init)                                   \
  X(heif_context_alloc)                          \
  X(heif_context_free)                           \
  X(heif_context_set_maximum_image_size_limit)   \
  X(heif_context_read_from_memory_without_copy)  \
  X(heif_context_get_primary_image_handle)       \
  X(heif_context_get_primary_image_ID)           \
  X(heif_context_get_number_of_top_level_images) \
  X(heif_image_handle_get_width)                 \
  X(heif_image_handle_get_height)                \
  X(heif_image_handle_has_alpha_channel)         \
  X(heif_image_handle_is_premultiplied_alpha)    \
  X(heif_image_handle_get_luma_bits_per_pixel)   \
  X(heif_image_handle_release)                   \
  X(heif_decoding_options_alloc)                 \
  X(heif_decoding_options_free)                  \
  X(heif_decode_image)                           \
  X(heif_image_get_colorspace)                   \
  X(heif_image_get_width)                        \
  X(heif_image_get_height)                       \
  X(heif_image_get_plane_readonly)               \
  X(heif_image_get_bits_per_pixel_range)         \
  X(heif_image_release)

struct Libheif {
#define PXHEIF_MEMBER(name) decltype(&::name) name = nullptr;
  PXHEIF_CALLS(PXHEIF_MEMBER)
#undef PXHEIF_MEMBER
};

// The loaded and initialised library, or null when it is not installed or lacks a call;
// loaded once per process, on the first call, from any thread.
const Libheif* LoadLibheif();

}  // namespace pxheif
