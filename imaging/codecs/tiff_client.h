// libtiff over the library's sources and sinks, shared by the TIFF reader and writer:
// client I/O through CPXIO, error and warning handlers that only trace, and the extra
// tag definitions, all set up once per process before the first file is opened.
#ifndef PIXOLITH_CODECS_TIFF_CLIENT_H
#define PIXOLITH_CODECS_TIFF_CLIENT_H

#include <tiffio.h>

#include "core/io.h"

namespace pxtiff {

// qsort's contract, cheap on what libtiff sorts. libtiff sorts its whole tag table after
// every merge of tag definitions, several times for each directory it reads or writes, and
// glibc's merge sort costs as much on that table (sorted, or sorted but for a few
// definitions appended at its end) as on a shuffled one: it was a third of the work of
// copying a fax page. This sort checks the order first and inserts a short unsorted tail;
// anything else goes to glibc's own sort. The programs' qsort, which libtiff binds to, is
// this one.
void AdaptiveSort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*));

// Installs the handlers and the tag extension (once; later calls do nothing).
void InitLibTIFF();

// Opens libtiff on `io` with a libtiff mode ("r", "wW", "a", ...). `io` must stay alive
// until the TIFF is closed; closing it leaves the source or sink open. Null when libtiff
// refuses the data (the caller records PX_ERR_BAD_TIFF).
TIFF* OpenClient(CPXIO* io, const char* mode);

// Closes a TIFF opened by OpenClient at the end of a scope.
class ClientTIFF {
 public:
  ClientTIFF() = default;
  explicit ClientTIFF(TIFF* tif) : tif_(tif) {}
  ~ClientTIFF() { Reset(); }
  ClientTIFF(const ClientTIFF&) = delete;
  ClientTIFF& operator=(const ClientTIFF&) = delete;

  void Reset(TIFF* tif = nullptr) {
    if (tif_) TIFFClose(tif_);
    tif_ = tif;
  }
  TIFF* get() const { return tif_; }
  explicit operator bool() const { return tif_ != nullptr; }

 private:
  TIFF* tif_ = nullptr;
};

}  // namespace pxtiff

#endif  // PIXOLITH_CODECS_TIFF_CLIENT_H
