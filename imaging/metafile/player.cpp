// Enhanced-metafile playback: the record loop and the table that hands each record to
// its handler.
#include "metafile/player.h"

#include <algorithm>
#include <cmath>

namespace pxmf {

Player::Player(uint32_t* pixels, int width, int height, const ENHMETAHEADER& header,
               const RECT& rect, ByteView data)
    : pixels_(pixels), width_(width), height_(height), header_(header), data_(data) {
  surface_ = Cairo().cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width, height, width * 4);
  if (Cairo().cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
  cr_ = Cairo().cairo_create(surface_);
  if (Cairo().cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
    Cairo().cairo_destroy(cr_);
    cr_ = nullptr;
    return;
  }
  Cairo().cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  Cairo().cairo_matrix_init_identity(&dc_.world);

  // The reference device's resolution, preferring the finer micrometre sizes of newer
  // headers when they agree with the millimetres.
  double mmX = header.szlMillimetersCx, mmY = header.szlMillimetersCy;
  double umX = header.szlMicrometersCx / 1000.0, umY = header.szlMicrometersCy / 1000.0;
  if (std::abs(umX - mmX) <= std::max(2.0, mmX / 10) &&
      std::abs(umY - mmY) <= std::max(2.0, mmY / 10)) {
    mmX = umX;
    mmY = umY;
  }
  pxPerMMX_ = header.szlDeviceCx > 0 && mmX > 0 ? header.szlDeviceCx / mmX : 96 / 25.4;
  pxPerMMY_ = header.szlDeviceCy > 0 && mmY > 0 ? header.szlDeviceCy / mmY : 96 / 25.4;

  // The picture frame (hundredths of a millimetre) fills the target rectangle; a file
  // without a usable frame falls back on its device bounds.
  double fl = header.rclFrame.left * pxPerMMX_ / 100.0;
  double ft = header.rclFrame.top * pxPerMMY_ / 100.0;
  double fw = (double(header.rclFrame.right) - header.rclFrame.left) * pxPerMMX_ / 100.0;
  double fh = (double(header.rclFrame.bottom) - header.rclFrame.top) * pxPerMMY_ / 100.0;
  if (!(fw > 0) || !(fh > 0)) {
    fl = header.rclBounds.left;
    ft = header.rclBounds.top;
    fw = double(header.rclBounds.right) - header.rclBounds.left + 1;
    fh = double(header.rclBounds.bottom) - header.rclBounds.top + 1;
  }
  double rw = double(rect.right) - rect.left, rh = double(rect.bottom) - rect.top;
  if (!(fw > 0) || !(fh > 0)) {
    fl = ft = 0;
    fw = rw;
    fh = rh;
  }
  double sx = rw / fw, sy = rh / fh;
  Cairo().cairo_matrix_init(&base_, sx, 0, 0, sy, rect.left - fl * sx, rect.top - ft * sy);

  uint32_t handles = std::max<uint32_t>(header.nHandles, 1);
  objects_.resize(std::min(handles, kMaxObjects));
}

Player::~Player() {
  for (auto& [name, face] : faces_) Cairo().cairo_font_face_destroy(face);
  if (cr_) Cairo().cairo_destroy(cr_);
  if (surface_) {
    Cairo().cairo_surface_flush(surface_);
    Cairo().cairo_surface_destroy(surface_);
  }
}

void Player::Run(px::PlaybackReport* report) {
  size_t offset = 0;
  bool complete = false;
  uint32_t records = 0;
  while (offset < data_.size()) {
    if (!data_.Has(offset, 8)) break;
    uint32_t type = data_.U32(offset), size = data_.U32(offset + 4);
    // A record must hold its own type and size and end inside the file.
    if (size < 8 || !data_.Has(offset, size)) break;
    ByteView record = data_.Sub(offset, size);
    ++records;
    if (type == EMR_EOF) {
      complete = true;
      break;
    }
    if (Handler handler = HandlerFor(type); handler && !(records == 1 && type == EMR_HEADER))
      (this->*handler)(record);
    offset += size;
    if (offset == data_.size()) complete = true;
  }
  Cairo().cairo_surface_flush(surface_);
  if (report) {
    report->complete = complete;
    report->drawn = drawn_;
    report->records = records;
  }
}

Player::Handler Player::HandlerFor(uint32_t type) {
  static const RecordTable<Handler> table({ObjectRecords(), StateRecords(), PathRecords(),
                                           TextRecords(), BitmapRecords(), ClipRecords()});
  return table.Find(type);
}

}  // namespace pxmf
