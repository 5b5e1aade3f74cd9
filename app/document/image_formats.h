// The formats the application reads, as one table: a row per ImageType saying at which
// depth the image object reads files of that type and how it settles their palette, and
// for each format (shared by its rows) how its files are detected and refined, how its
// reader is called at each depth it offers, and what resolution the image object takes
// from it. The image object, the command-line tool and the round-trip fuzz target all
// decode through this table, so they read every file alike.
#ifndef PAGEWEAVER_DOCUMENT_IMAGE_FORMATS_H
#define PAGEWEAVER_DOCUMENT_IMAGE_FORMATS_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pixolith/px_core.h"
#include "pixolith/px_tiff.h"

enum ImageType {
  JPG_24 = 0,
  JPG_8 = 1,
  BMP_24 = 2,
  BMP_PAL = 3,
  GIF = 4,
  PCX_24 = 5,
  PCX_PAL = 6,
  PNG_24 = 7,
  PNG_PAL = 8,
  TIF_24 = 9,
  TIF_PAL = 10,
  TGA_24 = 11,
  TGA_PAL = 12,
  WMF = 13,
  EMF = 14,
  PSD_24 = 15,
  PSD_8 = 16,
  WBMP = 17,
  TIF_1 = 18,
  PNG_1 = 19,
  UNKNOWN = 20,
  WEBP = 21,
  HEIF = 22,  // HEIF, HEIC and AVIF
};

// The background metafiles are rendered on: a page is paper, and black drawings must
// stay visible on it.
constexpr COLORREF kMetafileBackground = RGB(255, 255, 255);

// Depths a reader can give, as bits of a set.
constexpr unsigned kDepth1 = 1, kDepth8 = 2, kDepth24 = 4;

// An image as a reader gave it: the pixels are a global block owned here.
struct DecodedImage {
  DecodedImage() = default;
  ~DecodedImage() { GlobalFree(pixels); }
  DecodedImage(const DecodedImage&) = delete;
  DecodedImage& operator=(const DecodedImage&) = delete;
  // Hands the block over to the caller.
  uint8_t* Release() {
    uint8_t* block = pixels;
    pixels = nullptr;
    return block;
  }

  uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;  // 1, 8 or 24
  RGBQUAD palette[256] = {};
  uint32_t colors = 0;  // the palette entries in use
  // How the stored rows relate to the upright picture (PX_ORIENTATION_*), for formats
  // whose files say so in their EXIF; the rows are as stored.
  int orientation = 1;
};

// One call of a format's reader.
struct ReadCall {
  PXSource source = nullptr;  // at any position; unused by formats read by path
  std::string path;           // the file's name, for the formats rendered from it
  int frame = 0;              // the page of a multi-page file
  uint32_t depth = 24;        // 1, 8 or 24: one the format offers
  // Transparent pixels show white paper, as on a page; otherwise what the library
  // composites on (a file's own background colour, else black).
  bool onPaper = false;
};

// What a format's dimension call says of one page before its pixels are read.
struct Refinement {
  ImageType type = UNKNOWN;  // the type the image object reads it as
  uint32_t bits = 0;         // the bits per pixel it stores, where the call tells them
  int error = 0;             // the call's code when it failed (the type is then the first)
};

// What the image object records of a page on loading it, where a survey of the page as
// stored tells it without the format's own calls.
struct StoredPageInput {
  ImageType type = UNKNOWN;
  PXResolution resolution = {};
  int compression = 1;
};

// What the rows of one library format share.
struct ImageFormat {
  int id;            // the library's format id (PX_FORMAT_...)
  const char* name;  // "BMP", as messages name it
  // The names of its files, lower case without the dot, the usual one first.
  std::span<const std::string_view> extensions;
  // A file whose content is not recognised is taken by its extension.
  bool knownByName = true;
  bool byPath = false;  // rendered from the file's name: no source is read
  unsigned depths = 0;  // the depths its reader gives (kDepth1 | kDepth8 | kDepth24)
  // Reads one page at call.depth. Returns the library's code; a reader that stopped
  // early leaves the rows it made in `out` with its code.
  int (*read)(const ReadCall& call, DecodedImage& out);
  // The type the image object reads a page as, by the format's dimension call.
  Refinement (*refine)(PXSource source, int frame);
  // The resolution the image object records (unit 1 none, 2 inch, 3 centimetre).
  PXResolution (*resolution)(PXSource source);
  // The number of pages, for formats that hold several; null for one page.
  uint32_t (*pageCount)(PXSource source) = nullptr;
  // The compression of the file's first page that the output keeps; null for none.
  int (*compression)(PXSource source) = nullptr;
  // For formats whose stored data the output can take over as it is: the page as
  // stored (size, depth, compression, whether it can be copied), and the copy itself as
  // a page for the TIFF writer, made only when `accept` (may be null) agrees to the
  // stored page. Null for formats that are always converted.
  BOOL (*storedPage)(PXSource source, int frame, PXStoredPage* stored) = nullptr;
  PXTIFFEncodedPage* (*copyPage)(PXSource source, int frame, const PXResolution& resolution,
                                 PXStoredPageFilter accept, void* user) = nullptr;
  // What loading page `frame` would record, from its stored facts alone; false when the
  // calls above must tell it. Null for formats whose surveys never tell it.
  bool (*storedInput)(PXSource source, const PXStoredPage& stored, int frame,
                      StoredPageInput* input) = nullptr;
};

// How the image object reads one ImageType.
struct ImageTypeRow {
  ImageType type;
  const ImageFormat* format;
  uint32_t bits;  // the depth it is read at
  // Sets the palette entries in use where the image object counts them otherwise than
  // the reader does; null keeps the reader's.
  void (*settlePalette)(PXSource source, DecodedImage& image);
  // Pages with clearly non-square pixels (fax modes) are stretched to look right.
  bool squaresPixels;
};

// A source closed at the end of a scope.
class ScopedSource {
 public:
  // How the file is read.
  enum class Reading {
    kStream,     // as a file source
    kWholeFile,  // at once into memory when it is small, else as a file source
  };
  explicit ScopedSource(const std::string& path, Reading reading = Reading::kStream);
  ~ScopedSource() {
    if (source_) PXCloseSource(source_);
  }
  ScopedSource(const ScopedSource&) = delete;
  ScopedSource& operator=(const ScopedSource&) = delete;
  PXSource get() const { return source_; }
  explicit operator bool() const { return source_ != nullptr; }
  // Readers start at the beginning of the file.
  PXSource AtStart() const {
    PXSeekSource(source_, 0, PX_SEEK_SET);
    return source_;
  }

 private:
  PXSource source_ = nullptr;
  // The file, when it is read into memory; not cleared before the read fills it.
  std::unique_ptr<uint8_t[]> bytes_;
};

// Every row, grouped by format; a format's first row is the type its detection gives.
std::span<const ImageTypeRow> ImageTypeRows();
// The row of a type; null for UNKNOWN and values outside the table.
const ImageTypeRow* FindImageType(ImageType type);
// The format of a library format id; null when the application reads no such files.
const ImageFormat* FindImageFormat(int formatId);
// The first type of a format: the one its detection gives before refinement.
ImageType FirstType(const ImageFormat& format);
// Every format's file-name extensions, in the order of the table.
const std::vector<std::vector<std::string>>& FormatExtensions();

// The type a library format id gives; UNKNOWN for formats the application does not read.
ImageType TypeByFormat(int formatId);
// The type a file name's extension gives (case-insensitive); UNKNOWN when none does.
ImageType TypeByExtension(const std::string& path);
// The type a file's content (or, failing that, its name) suggests, before refinement.
ImageType CandidateType(PXSource source, const std::string& path);
// The candidate refined by its format's dimension call.
ImageType RefineType(ImageType candidate, PXSource source, int frame);

// True when the format's reader gives images of `depth` bits (1, 8 or 24).
bool ReadsAtDepth(const ImageFormat& format, int depth);
// A page's own depth, for a reader that may choose: a one-bit file stays one bit where
// the format's reader gives that, any other is read at the depth of its type.
uint32_t OwnDepth(const ImageFormat& format, const Refinement& refinement);

// Reads one page as the image object does: at the type's depth, on paper, with the
// palette the type settles. Returns 0 with a whole image in `out`, or the error code
// (also when the reader stopped early); `source` may be null for formats read by path.
int ReadImageType(PXSource source, const std::string& path, ImageType type, int frame,
                  DecodedImage& out);

#endif  // PAGEWEAVER_DOCUMENT_IMAGE_FORMATS_H
