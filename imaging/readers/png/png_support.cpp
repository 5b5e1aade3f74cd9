#include "readers/png/png_support.h"

#include "core/operation.h"

void PXPNGError(png_structp png, png_const_charp message) {
  PXTrace("PXLib PNG Error : %s\n", message);
  png_longjmp(png, 1);
}

void PXPNGWarning(png_structp, png_const_charp message) {
  PXTrace("PXLib PNG Warning : %s\n", message);
}
