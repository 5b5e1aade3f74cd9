#include <cstdio>

#include "core/thread_state.h"
#include "pixolith/px_core.h"

namespace {

struct ErrorMessage {
  int code;
  const char* text;
};

// Codes missing here (33, 34, 36, 37, 38, 39, 40, 42 to 45, 48 to 52, 54 to 68 and
// anything beyond 71) have no message and are shown as "Error %d".
constexpr ErrorMessage kMessages[] = {
    {0, "No err"},
    {1,
     "There is not enough memory to complete the operation (possible invalid file "
     "dimensions)"},
    {2, "Error on file open"},
    {3, "Error on file read"},
    {4, "Error on file write"},
    {5, "Internal parameter error"},
    {6, "Possible bad BMP file"},
    {7, "Some BMP-RLE variations are not supported"},
    {8, "Attempted to read Gif87a as a multi-framed GIF"},
    {9, "Possible bad JPG file"},
    {10, "Error with device context"},
    {11, "Problem with a GetDIBits call"},
    {12, "Possible bad GIF file"},
    {13, "Resource not found"},
    {14, "Callback returned FALSE - operation aborted"},
    {15, "Possible bad PNG file"},
    {16, "Internal PNG lib behavior - contact tinkerfield s.w."},
    {17, "Misc unexpected behavior error - contact tinkerfield s.w."},
    {18, "Trouble creating a font object"},
    {19, "Misc internal TIFF error"},
    {20, "Possible bad TIFF file"},
    {21, "This will not read TIFF-LZW images"},
    {22, "Possible bad PCX file"},
    {23, "A call to the fn CreateCompatibleBitmap failed"},
    {24, "End of an image while using single-line de/compression"},
    {25, "Error during a call to GetDIBits"},
    {26, "Device does not support an operation required by this function"},
    {27, "Invalid windows metafile"},
    {28, "The file was not of the requested bit-depth"},
    {29, "A call to BitBlt failed."},
    {30, "Output buffer is too small for this operation"},
    {31, "Not enough room in the output palette to store the colors from this image"},
    {32, "Possible bad TGA file"},
    {35, "A call to the CreateDIBitmap function failed"},
    {41, "Unable to render metafile. System resources may be too low."},
    {46, "Invalid Photoshop file"},
    {47, "This Photoshop subformat is not supported"},
    {53, "Invalid Wireless Bitmap"},
    {69, "Possible bad WebP file"},
    {70, "Possible bad HEIF file"},
    {71, "This HEIF subformat is not supported"},
};

}  // namespace

extern "C" const char* PXGetErrorMessage(int code) {
  for (const ErrorMessage& m : kMessages)
    if (m.code == code) return m.text;
  return nullptr;
}

extern "C" const char* PXGetErrorText(int code) {
  if (const char* text = PXGetErrorMessage(code)) return text;
  thread_local char fallback[32];
  std::snprintf(fallback, sizeof fallback, "Error %d", code);
  return fallback;
}
