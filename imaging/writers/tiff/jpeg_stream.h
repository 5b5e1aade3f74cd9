// The marker structure of JPEG data that goes into a TIFF as it is: a whole stream's
// extent and a table block's completeness, checked without decoding anything.
#ifndef PIXOLITH_WRITERS_TIFF_JPEG_STREAM_H
#define PIXOLITH_WRITERS_TIFF_JPEG_STREAM_H

#include <cstddef>
#include <cstdint>

namespace pxtiffw {

// What the walk over a stream's markers saw.
struct JPEGStream {
  size_t end = 0;              // just after the end-of-image marker; 0 when there is none
  int frames = 0;              // start-of-frame markers of any kind
  bool sequential = false;     // the frame is baseline or extended sequential Huffman (SOF0, SOF1)
  bool numberOfLines = false;  // a DNL marker sets the height after the first scan
};

// Walks the markers from the start-of-image marker at data[0] to the end-of-image
// marker: every segment's length within the data, entropy-coded data skipped up to the
// next marker. False when the structure breaks off or holds a marker that does not
// belong there.
bool WalkJPEGStream(const uint8_t* data, size_t size, JPEGStream* stream);

// True when a JPEGTables block is complete: start-of-image, then only whole table,
// restart-interval, comment and application segments, and end-of-image as its last bytes.
bool CompleteJPEGTables(const uint8_t* data, size_t size);

}  // namespace pxtiffw

#endif  // PIXOLITH_WRITERS_TIFF_JPEG_STREAM_H
