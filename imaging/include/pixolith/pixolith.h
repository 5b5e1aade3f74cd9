// Pixolith, PageWeaver's imaging library: everything in one include.
#ifndef PIXOLITH_PIXOLITH_H
#define PIXOLITH_PIXOLITH_H

#include "pixolith/platform.h"
#include "pixolith/px_core.h"
#include "pixolith/px_bmp.h"
#include "pixolith/px_tiff.h"

#endif  // PIXOLITH_PIXOLITH_H
