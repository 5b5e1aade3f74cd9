// The output run: every page of the list, in display order and with its own settings,
// written as one multi-page TIFF or one PDF.
#ifndef PAGEWEAVER_DOCUMENT_OUTPUT_H
#define PAGEWEAVER_DOCUMENT_OUTPUT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "interfaces.h"
#include "page_copy.h"
#include "page_image.h"
#include "page_record.h"
#include "pixolith/px_tiff.h"

struct PdfPage;

// What the output file is: a multi-page TIFF or a PDF.
enum class OutputFormat { kTIFF, kPDF };

// The format a file name asks for: PDF for names ending in ".pdf" (any letter case),
// TIFF for every other.
OutputFormat OutputFormatFor(const std::string& path);

// The text shown for a library error code: its message, or "Error %d".
std::string ErrorText(int code);

// Loads and converts one page as the output wants it: fitted into the output size,
// at the output depth, rotated and flipped. `progress` (may be null) is called once the
// page is loaded and may stop the run (returns kCancelled then).
int PreparePage(const PageRecord& record, CPageImage* image,
                const std::function<bool(const CPageImage&)>& progress = {});

// The page as the output writes it: its stored data when it is copied (CopyUnchangedPage),
// else PreparePage and the page compressed. For worker threads: the writer only has to
// append the page.
int PrepareEncodedPage(const PageRecord& record, PXTIFFEncodedPage** encoded,
                       const PageReport& progress = {});

// A page made ready for the writer of its format, on whichever thread.
struct PreparedPage {
  PreparedPage();
  ~PreparedPage();
  PreparedPage(const PreparedPage&) = delete;
  PreparedPage& operator=(const PreparedPage&) = delete;

  int error = 0;
  PXTIFFEncodedPage* encoded = nullptr;  // TIFF
  std::unique_ptr<PdfPage> pdf;          // PDF
};

// PrepareEncodedPage or PreparePdfPage, as the format needs: 0 or the page's error.
int PrepareOutputPage(OutputFormat format, const PageRecord& record, PreparedPage* page,
                      const PageReport& progress = {});

// How an output run in `format` writes the page: DecidePageHandling for a TIFF,
// DecidePdfPageHandling for a PDF.
PageHandling DecideOutputHandling(OutputFormat format, const PageRecord& record);

// The resolution a page is written with.
PXResolution OutputResolution(const PageOutputSettings& out);

// What an output run did.
struct OutputReport {
  int error = 0;  // library error code; 0 when the file was written
  bool cancelled = false;
  int failedPage = -1;  // index (in output order) of the page that failed
  std::string failedPath;
  uint32_t bytes = 0;  // size of the file written
  int pagesWritten = 0;

  bool ok() const { return error == 0 && !cancelled; }
};

// Hands one page after another to the TIFF writer.
class PagePrefetcher;

class OutputPageFeeder {
 public:
  // With threads > 1 the pages are converted that many at a time on worker threads,
  // ahead of the writer; the file and the progress reports are the same either way.
  // `previews` may name, per page, the preview cache's file of it, which those reports
  // show rather than a picture made from the page.
  OutputPageFeeder(std::vector<PageRecord> pages, ProgressSink* progress, int threads = 1,
                   MessagePump* pump = nullptr, std::vector<std::string> previews = {},
                   OutputFormat format = OutputFormat::kTIFF);
  ~OutputPageFeeder();

  // Fills the writer's page description; 1 when a page was delivered, 0 when there are
  // no more pages, on a failure (error() tells) and on cancel (cancelled() tells).
  int NextPage(uint8_t** pixels, uint32_t* width, uint32_t* height, RGBQUAD** palette,
               uint32_t* bitsPerPixel, uint32_t* compression, PXResolution* resolution);
  // The same for pages converted and compressed ahead on worker threads.
  int NextEncodedPage(const PXTIFFEncodedPage** page);
  // The next page for the PDF writer (which keeps it); null when there are no more pages,
  // on a failure and on cancel.
  std::unique_ptr<PdfPage> NextPdfPage();
  // True when the writer takes the pages with NextEncodedPage: they are made ahead, or
  // some may be copied as stored.
  bool EncodedPages() const { return prefetcher_ != nullptr || mayCopy_; }

  int error() const { return error_; }
  bool cancelled() const { return cancelled_; }
  int failedPage() const { return failedPage_; }
  const std::vector<PageRecord>& pages() const { return pages_; }
  int delivered() const { return delivered_; }

 private:
  // Releases the page given last and picks the next: 0 when there is none (any more).
  int Begin(size_t* index);
  // The percentage reported with the page of that index.
  int Percent(size_t index) const { return int((index + 1) * 100 / pages_.size()); }
  void Fail(size_t index, int error);
  // Makes page `index` on this thread for NextEncodedPage: 0 or its error.
  int EncodeHere(size_t index);
  // The next page made for the writer (here or ahead); null when there is none.
  PreparedPage* NextPrepared();

  std::vector<PageRecord> pages_;
  size_t next_ = 0;
  CPageImage working_;
  ProgressSink* progress_;
  MessagePump* pump_;
  std::unique_ptr<PagePrefetcher> prefetcher_;
  std::vector<std::string> previews_;
  bool mayCopy_ = false;
  OutputFormat format_;
  std::unique_ptr<PreparedPage> current_;  // the page made here and given last
  int error_ = 0;
  bool cancelled_ = false;
  int failedPage_ = -1;
  int delivered_ = 0;
};

// Writes the pages to `path`. The file is written under a temporary name in the same
// folder and renamed over `path` only when every page was written; a failed or
// cancelled run leaves an existing file at `path` exactly as it was.
OutputReport WriteOutputFile(const std::vector<PageRecord>& pages, const std::string& path,
                             ProgressSink* progress, MessagePump* pump = nullptr, int threads = 1,
                             std::vector<std::string> previews = {},
                             OutputFormat format = OutputFormat::kTIFF);

// The number of threads that converts pages by default: one per core.
int DefaultOutputThreads();

#endif  // PAGEWEAVER_DOCUMENT_OUTPUT_H
