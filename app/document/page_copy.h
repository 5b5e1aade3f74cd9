// Pages the output takes over as their source stores them: a page whose settings leave
// its pixels as they are, stored in the compression it is to be written with, goes into
// the file as its compressed data ("copied") instead of being decoded and encoded again
// ("converted"). The decision is made per page from the source's stored facts.
#ifndef PAGEWEAVER_DOCUMENT_PAGE_COPY_H
#define PAGEWEAVER_DOCUMENT_PAGE_COPY_H

#include <functional>
#include <string>

#include "page_record.h"
#include "pixolith/px_tiff.h"

enum class PageHandling { kConverted, kCopied };

class CPageImage;

// Told of a page once it is loaded (with the page as loaded) or found to be copied (with
// no picture); false stops the run.
using PageReport = std::function<bool(const CPageImage* loaded, PageHandling handling)>;

// "copied" or "converted", as the command line and the info view show it.
const char* PageHandlingName(PageHandling handling);

// True when the settings keep the pixels of a page of this size read at `bits` (1, 8 or
// 24) as they are: the same size, no rotation or flip, the same depth or "keep".
bool KeepsPagePixels(const PageOutputSettings& out, uint32_t width, uint32_t height, uint32_t bits);

// True when the settings leave a page stored so as it is: its pixels kept (the stored
// depth being the one it is read at), no transparency, and the compression the writer
// would use for the page.
bool LeavesPageUnchanged(const PageOutputSettings& out, const PXStoredPage& stored);

// How the output writes the page: copied when the page allows it, its settings leave it
// unchanged and its source's data can be taken over; converted otherwise.
PageHandling DecidePageHandling(const PageRecord& record);

// The page's stored data as a page for the TIFF writer, with the output's resolution,
// when DecidePageHandling says copied; null when the page is to be converted.
PXTIFFEncodedPage* CopyUnchangedPage(const PageRecord& record);

// What loading the page would record of it (size, depth, resolution, compression), read
// from its stored facts alone, for pages that can be copied: a document that shows no
// pages need not decode them to add them. False, recording nothing, for every other page.
struct StoredInput {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  PXResolution resolution = {};
  int compression = 1;
};
bool DescribeStoredPage(const std::string& path, int frame, StoredInput* input);
// The same of a file read already (its source from ScopedSource).
bool DescribeStoredPage(PXSource source, const std::string& path, int frame, StoredInput* input);

#endif  // PAGEWEAVER_DOCUMENT_PAGE_COPY_H
