// Pixolith, PageWeaver's imaging library: everything in one include.
#ifndef PIXOLITH_PIXOLITH_H
#define PIXOLITH_PIXOLITH_H

#include "pixolith/platform.h"
#include "pixolith/px_core.h"
#include "pixolith/px_processing.h"

#endif  // PIXOLITH_PIXOLITH_H
