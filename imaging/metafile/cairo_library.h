// Cairo, loaded when the first metafile is played. Linked into every program it would
// bring along pixman, fontconfig, freetype and the X11 libraries, whose loading costs each
// start about two milliseconds, although most runs never play a metafile.
#ifndef PIXOLITH_METAFILE_CAIRO_LIBRARY_H
#define PIXOLITH_METAFILE_CAIRO_LIBRARY_H

#include <cairo.h>

namespace pxmf {

// The Cairo calls playback makes, under their own names.
#define PXCAIRO_CALLS(X)                     \
  X(cairo_clip)                              \
  X(cairo_close_path)                        \
  X(cairo_copy_path_flat)                    \
  X(cairo_create)                            \
  X(cairo_curve_to)                          \
  X(cairo_destroy)                           \
  X(cairo_fill)                              \
  X(cairo_font_face_destroy)                 \
  X(cairo_font_options_create)               \
  X(cairo_font_options_destroy)              \
  X(cairo_font_options_set_antialias)        \
  X(cairo_font_options_set_hint_metrics)     \
  X(cairo_glyph_free)                        \
  X(cairo_image_surface_create)              \
  X(cairo_image_surface_create_for_data)     \
  X(cairo_image_surface_get_data)            \
  X(cairo_image_surface_get_stride)          \
  X(cairo_line_to)                           \
  X(cairo_mask_surface)                      \
  X(cairo_matrix_init)                       \
  X(cairo_matrix_init_identity)              \
  X(cairo_matrix_init_translate)             \
  X(cairo_matrix_invert)                     \
  X(cairo_matrix_multiply)                   \
  X(cairo_matrix_transform_distance)         \
  X(cairo_matrix_transform_point)            \
  X(cairo_mesh_pattern_begin_patch)          \
  X(cairo_mesh_pattern_end_patch)            \
  X(cairo_mesh_pattern_line_to)              \
  X(cairo_mesh_pattern_move_to)              \
  X(cairo_mesh_pattern_set_corner_color_rgb) \
  X(cairo_move_to)                           \
  X(cairo_new_path)                          \
  X(cairo_paint)                             \
  X(cairo_paint_with_alpha)                  \
  X(cairo_path_destroy)                      \
  X(cairo_pattern_add_color_stop_rgb)        \
  X(cairo_pattern_create_for_surface)        \
  X(cairo_pattern_create_linear)             \
  X(cairo_pattern_create_mesh)               \
  X(cairo_pattern_destroy)                   \
  X(cairo_pattern_set_extend)                \
  X(cairo_pattern_set_filter)                \
  X(cairo_pattern_set_matrix)                \
  X(cairo_rectangle)                         \
  X(cairo_region_copy)                       \
  X(cairo_region_create)                     \
  X(cairo_region_create_rectangle)           \
  X(cairo_region_create_rectangles)          \
  X(cairo_region_destroy)                    \
  X(cairo_region_get_extents)                \
  X(cairo_region_get_rectangle)              \
  X(cairo_region_intersect)                  \
  X(cairo_region_num_rectangles)             \
  X(cairo_region_subtract)                   \
  X(cairo_region_translate)                  \
  X(cairo_region_union)                      \
  X(cairo_region_xor)                        \
  X(cairo_reset_clip)                        \
  X(cairo_restore)                           \
  X(cairo_save)                              \
  X(cairo_scaled_font_create)                \
  X(cairo_scaled_font_destroy)               \
  X(cairo_scaled_font_extents)               \
  X(cairo_scaled_font_glyph_extents)         \
  X(cairo_scaled_font_status)                \
  X(cairo_scaled_font_text_extents)          \
  X(cairo_scaled_font_text_to_glyphs)        \
  X(cairo_set_antialias)                     \
  X(cairo_set_dash)                          \
  X(cairo_set_fill_rule)                     \
  X(cairo_set_line_cap)                      \
  X(cairo_set_line_join)                     \
  X(cairo_set_line_width)                    \
  X(cairo_set_matrix)                        \
  X(cairo_set_miter_limit)                   \
  X(cairo_set_scaled_font)                   \
  X(cairo_set_source)                        \
  X(cairo_set_source_rgb)                    \
  X(cairo_set_tolerance)                     \
  X(cairo_show_glyphs)                       \
  X(cairo_status)                            \
  X(cairo_stroke)                            \
  X(cairo_stroke_preserve)                   \
  X(cairo_surface_destroy)                   \
  X(cairo_surface_flush)                     \
  X(cairo_surface_mark_dirty)                \
  X(cairo_surface_set_device_offset)         \
  X(cairo_surface_status)                    \
  X(cairo_toy_font_face_create)

struct Libcairo {
#define PXCAIRO_MEMBER(name) decltype(&::name) name = nullptr;
  PXCAIRO_CALLS(PXCAIRO_MEMBER)
#undef PXCAIRO_MEMBER
};

// The loaded library, or null (with the reason sent to the trace) when it is not
// installed or lacks a call; loaded once per process, on the first call, from any thread.
const Libcairo* LoadLibcairo();

// The library for the drawing code, which runs only once LoadLibcairo has found it.
const Libcairo& Cairo();

}  // namespace pxmf

#endif  // PIXOLITH_METAFILE_CAIRO_LIBRARY_H
