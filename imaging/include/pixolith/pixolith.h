// Pixolith, PageWeaver's imaging library: everything in one include.
#ifndef PIXOLITH_PIXOLITH_H
#define PIXOLITH_PIXOLITH_H

#include "pixolith/platform.h"
#include "pixolith/px_bmp.h"
#include "pixolith/px_core.h"
#include "pixolith/px_gif.h"
#include "pixolith/px_heif.h"
#include "pixolith/px_jpeg.h"
#include "pixolith/px_metafile.h"
#include "pixolith/px_orientation.h"
#include "pixolith/px_pcx_tga_wbmp.h"
#include "pixolith/px_png.h"
#include "pixolith/px_processing.h"
#include "pixolith/px_psd.h"
#include "pixolith/px_streams.h"
#include "pixolith/px_tiff.h"
#include "pixolith/px_webp.h"

#endif  // PIXOLITH_PIXOLITH_H
