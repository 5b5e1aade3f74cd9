#include "codecs/png_support.h"

namespace px {

// Both handlers run inside libpng's C frames, which no exception may cross: a trace hook
// that throws is silenced here.
void PNGError(png_structp png, png_const_charp message) {
  try {
    Trace("PXLib PNG Error : %s\n", message);
  } catch (...) {
  }
  png_longjmp(png, 1);
}

void PNGWarning(png_structp, png_const_charp message) {
  try {
    Trace("PXLib PNG Warning : %s\n", message);
  } catch (...) {
  }
}

}  // namespace px
