#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "pdf_page.h"
#include "pdf_writer.h"
#include "pixolith/px_tiff.h"
#include "prefetch.h"

namespace fs = std::filesystem;

OutputFormat OutputFormatFor(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".pdf" ? OutputFormat::kPDF : OutputFormat::kTIFF;
}

std::string ErrorText(int code) {
  return PXGetErrorText(code);
}

int PreparePage(const PageRecord& record, CPageImage* image,
                const std::function<bool(const CPageImage&)>& progress) {
  if (int error = image->Load(record.sourcePath, UNKNOWN, record.frameIndex)) return error;
  if (progress && !progress(*image)) return PX_ERR_ABORTED;
  const PageOutputSettings& out = record.output;
  uint32_t width, height;
  image->FitSize(uint32_t(std::max(out.width, 1)), uint32_t(std::max(out.height, 1)), &width,
                 &height);
  // Shrinking may leave palette and 1-bit pages deeper (their averaged colours); a page
  // kept at its loaded depth goes back to it.
  const uint32_t loadedBits = image->BitsPerPixel();
  const double reduction =
      std::max(double(image->Width()) / width, double(image->Height()) / height);
  if (int error = image->Resize(width, height, kResizeDefault)) return error;
  int error = 0;
  const int32_t bits = out.bitsPerPixel == 1 || out.bitsPerPixel == 8 || out.bitsPerPixel == 24
                           ? out.bitsPerPixel
                           : int32_t(loadedBits);
  // A 1-bit page shrunk to grey and going back to 1 bit keeps its thin strokes.
  if (loadedBits == 1 && bits == 1 && reduction > 1) image->KeepThinStrokes(reduction);
  switch (bits) {
    case 1:
      error = image->To1Bit(out.threshold, out.dither);
      break;
    case 8:
      error = image->To8Bit();
      break;
    case 24:
      error = image->To24Bit();
      break;
    default:
      break;
  }
  if (error) return error;
  if (int e = image->Rotate(out.rotation)) return e;
  return image->Flip(out.flip);
}

namespace {

// The writer takes the JPEG quality from the thread that encodes the page.
void UseJPEGQuality(const PageOutputSettings& out) {
  PXSetTIFFJPEGQuality(out.jpegQuality >= kMinJPEGQuality && out.jpegQuality <= kMaxJPEGQuality
                           ? out.jpegQuality
                           : kDefaultJPEGQuality);
}

}  // namespace

// A page without a resolution (metafiles have none) is written as the writer writes "no
// resolution": 1 x 1 without units, since a zero would make some readers divide by it.
PXResolution OutputResolution(const PageOutputSettings& out) {
  return {uint32_t(out.resolutionX > 0 ? out.resolutionX : 1),
          uint32_t(out.resolutionY > 0 ? out.resolutionY : 1),
          uint32_t(out.resolutionUnit >= 1 && out.resolutionUnit <= 3 ? out.resolutionUnit : 1)};
}

int PrepareEncodedPage(const PageRecord& record, PXTIFFEncodedPage** encoded,
                       const PageReport& progress) {
  // A page that cannot be taken over as stored (a source that turns out inconsistent
  // with its tags among them) is converted as any other.
  if ((*encoded = CopyUnchangedPage(record))) {
    if (progress && !progress(nullptr, PageHandling::kCopied)) {
      PXFreeTIFFEncodedPage(*encoded);
      *encoded = nullptr;
      return PX_ERR_ABORTED;
    }
    return 0;
  }
  CPageImage image;
  auto loaded = [&](const CPageImage& page) {
    return !progress || progress(&page, PageHandling::kConverted);
  };
  if (int error = PreparePage(record, &image, loaded)) return error;
  const PXResolution resolution = OutputResolution(record.output);
  UseJPEGQuality(record.output);
  *encoded = PXEncodeTIFFPage(image.Pixels(), image.Width(), image.Height(), image.BitsPerPixel(),
                              image.Palette(), uint32_t(record.output.compression), &resolution, 0);
  if (!*encoded) return PXGetLastError() ? PXGetLastError() : int(PX_ERR_UNEXPECTED);
  return 0;
}

PageHandling DecideOutputHandling(OutputFormat format, const PageRecord& record) {
  return format == OutputFormat::kPDF ? DecidePdfPageHandling(record) : DecidePageHandling(record);
}

PreparedPage::PreparedPage() = default;

PreparedPage::~PreparedPage() {
  PXFreeTIFFEncodedPage(encoded);
}

int PrepareOutputPage(OutputFormat format, const PageRecord& record, PreparedPage* page,
                      const PageReport& progress) {
  page->error = format == OutputFormat::kPDF ? PreparePdfPage(record, &page->pdf, progress)
                                             : PrepareEncodedPage(record, &page->encoded, progress);
  return page->error;
}

namespace {

// True when the run most likely copies every page: each keeps its pixels, and the first
// and the last are found to be copied. Copying a page costs less than handing it to a
// worker thread and back, so such a run is made on the writer's thread alone.
bool AllCopied(const std::vector<PageRecord>& pages) {
  for (const PageRecord& page : pages)
    if (!page.copyUnchanged || page.inputWidth < 0 || page.inputHeight < 0 ||
        page.inputBitsPerPixel < 0 ||
        !KeepsPagePixels(page.output, uint32_t(page.inputWidth), uint32_t(page.inputHeight),
                         uint32_t(page.inputBitsPerPixel)))
      return false;
  return DecidePageHandling(pages.front()) == PageHandling::kCopied &&
         DecidePageHandling(pages.back()) == PageHandling::kCopied;
}

}  // namespace

OutputPageFeeder::OutputPageFeeder(std::vector<PageRecord> pages, ProgressSink* progress,
                                   int threads, MessagePump* pump,
                                   std::vector<std::string> previews, OutputFormat format)
    : pages_(std::move(pages)), progress_(progress), pump_(pump), format_(format) {
  for (const PageRecord& page : pages_) mayCopy_ = mayCopy_ || page.copyUnchanged;
  if (threads <= 1 || pages_.size() <= 1 || (format_ == OutputFormat::kTIFF && AllCopied(pages_))) {
    previews_ = std::move(previews);
    return;
  }
  PagePrefetcher::Report report;
  if (progress_)
    report = [this](size_t index, const CPageImage* picture, PageHandling handling) {
      return progress_->PageProgress(pages_[index].sourcePath, Percent(index), picture, handling);
    };
  // Two pages per worker keep every worker busy while the writer takes them in order.
  prefetcher_ = std::make_unique<PagePrefetcher>(pages_, threads, size_t(threads) * 2,
                                                 std::move(report), std::move(previews), format_);
}

OutputPageFeeder::~OutputPageFeeder() = default;

void OutputPageFeeder::Fail(size_t index, int error) {
  if (error == PX_ERR_ABORTED) {
    cancelled_ = true;
    return;
  }
  // The run fails: a page the user asked for must not silently go missing.
  error_ = error;
  failedPage_ = int(index);
}

int OutputPageFeeder::Begin(size_t* index) {
  // The writer is done with the page it was given last.
  if (prefetcher_ && next_ > 0) prefetcher_->Release(next_ - 1);
  current_.reset();
  if (next_ >= pages_.size() || error_ || cancelled_) return 0;
  *index = next_++;
  return 1;
}

int OutputPageFeeder::NextPage(uint8_t** pixels, uint32_t* width, uint32_t* height,
                               RGBQUAD** palette, uint32_t* bitsPerPixel, uint32_t* compression,
                               PXResolution* resolution) {
  size_t index;
  if (!Begin(&index)) return 0;
  const PageRecord& record = pages_[index];
  auto report = [&](const CPageImage& loaded) {
    return !progress_ || progress_->PageProgress(record.sourcePath, Percent(index), &loaded,
                                                 PageHandling::kConverted);
  };
  if (int error = PreparePage(record, &working_, report)) return Fail(index, error), 0;
  *pixels = working_.Pixels();
  *width = working_.Width();
  *height = working_.Height();
  *palette = working_.Palette();
  *bitsPerPixel = working_.BitsPerPixel();
  *compression = uint32_t(record.output.compression);
  *resolution = OutputResolution(record.output);
  UseJPEGQuality(record.output);
  ++delivered_;
  return 1;
}

int OutputPageFeeder::EncodeHere(size_t index) {
  const PageRecord& record = pages_[index];
  auto report = [&](const CPageImage* loaded, PageHandling handling) {
    if (!progress_) return true;
    if (handling == PageHandling::kConverted)
      return progress_->PageProgress(record.sourcePath, Percent(index), loaded, handling);
    // A copied page is never decoded: its picture is the preview, where there is one.
    CPageImage picture;
    ProgressPicture(record, index < previews_.size() ? previews_[index] : std::string(), nullptr,
                    &picture);
    return progress_->PageProgress(record.sourcePath, Percent(index),
                                   picture.HasPixels() ? &picture : nullptr, handling);
  };
  current_ = std::make_unique<PreparedPage>();
  return PrepareOutputPage(format_, record, current_.get(), report);
}

PreparedPage* OutputPageFeeder::NextPrepared() {
  size_t index;
  if (!Begin(&index)) return nullptr;
  if (!prefetcher_) {
    if (int error = EncodeHere(index)) return Fail(index, error), nullptr;
    ++delivered_;
    return current_.get();
  }
  // The page was reported (and a stop answered) as it was loaded, before it was converted.
  PreparedPage* ready = prefetcher_->Take(index, pump_);
  if (ready->error) return Fail(index, ready->error), nullptr;
  ++delivered_;
  return ready;
}

int OutputPageFeeder::NextEncodedPage(const PXTIFFEncodedPage** page) {
  PreparedPage* ready = NextPrepared();
  if (!ready) return 0;
  *page = ready->encoded;
  return 1;
}

std::unique_ptr<PdfPage> OutputPageFeeder::NextPdfPage() {
  PreparedPage* ready = NextPrepared();
  return ready ? std::move(ready->pdf) : nullptr;
}

namespace {

int FeedPage(uint8_t** pixels, uint32_t* width, uint32_t* height, RGBQUAD** palette,
             uint32_t* bitsPerPixel, uint32_t* compression, PXResolution* resolution, void* user) {
  auto* feeder = static_cast<OutputPageFeeder*>(user);
  if (!feeder) return 1;
  return feeder->NextPage(pixels, width, height, palette, bitsPerPixel, compression, resolution);
}

int FeedEncodedPage(const PXTIFFEncodedPage** page, void* user) {
  auto* feeder = static_cast<OutputPageFeeder*>(user);
  return feeder ? feeder->NextEncodedPage(page) : 0;
}

// Lets the user interface dispatch queued messages for at most 80 ms every 20 rows, so
// that painting and the Cancel button keep working while a page is written.
void PumpBurst(MessagePump* pump) {
  auto start = std::chrono::steady_clock::now();
  while (pump->HasPendingMessage()) {
    if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(80)) break;
    pump->DispatchOneMessage();
  }
}

BOOL PumpMessagesCallback(UINT current, UINT, DWORD_PTR user) {
  auto* pump = reinterpret_cast<MessagePump*>(user);
  if (!pump || current % 20 != 0) return TRUE;
  PumpBurst(pump);
  return TRUE;
}

// What a writer left: the pages it wrote, its own error and the file's size.
struct Written {
  uint32_t pages = 0;
  int error = 0;
  uint32_t bytes = 0;
};

Written WriteTIFF(const std::string& temporary, OutputPageFeeder& feeder) {
  Written result;
  PXSink sink = PXOpenFileSink(temporary.c_str(), FALSE);
  if (!sink) {
    result.error = PXGetLastError();
    return result;
  }
  result.pages = feeder.EncodedPages() ? PXWriteEncodedTIFFPages(sink, FeedEncodedPage, &feeder, 0)
                                       : PXWriteMultiPageTIFF(sink, FeedPage, &feeder, 0);
  result.error = PXGetLastError();
  result.bytes = PXCloseSink(sink);
  return result;
}

// The pages go into the document as they come; the file is written once all are there.
Written WritePDF(const std::string& temporary, const std::string& path, OutputPageFeeder& feeder,
                 MessagePump* pump) {
  Written result;
  PdfWriter writer(fs::path(path).stem().string());
  while (std::unique_ptr<PdfPage> page = feeder.NextPdfPage()) {
    if ((result.error = writer.AddPage(std::move(page)))) return result;
  }
  if (feeder.error() || feeder.cancelled() || writer.PageCount() == 0) return result;
  std::function<void()> breathe;
  if (pump) breathe = [pump] { PumpBurst(pump); };
  if ((result.error = writer.Write(temporary, breathe))) return result;
  result.pages = uint32_t(writer.PageCount());
  std::error_code failed;
  const auto size = fs::file_size(temporary, failed);
  result.bytes = failed ? 0 : uint32_t(std::min<uintmax_t>(size, UINT32_MAX));
  return result;
}

// Creates an empty file with a fresh name beside `path`; the name, or empty on failure.
std::string CreateTemporaryBeside(const std::string& path) {
  fs::path target(path);
  fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", unsigned(random()));
    fs::path candidate = folder / ("." + target.filename().string() + "." + suffix + ".tmp");
    // 0666 and the user's umask: the finished file gets the permissions any new file
    // of this user would.
    int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      return candidate.string();
    }
    if (errno != EEXIST) break;
  }
  return std::string();
}

}  // namespace

int DefaultOutputThreads() {
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

OutputReport WriteOutputFile(const std::vector<PageRecord>& pages, const std::string& path,
                             ProgressSink* progress, MessagePump* pump, int threads,
                             std::vector<std::string> previews, OutputFormat format) {
  OutputReport report;
  if (pages.empty()) {
    report.error = PX_ERR_PARAMETER;
    return report;
  }
  std::string temporary = CreateTemporaryBeside(path);
  if (temporary.empty()) {
    report.error = PX_ERR_FILE_OPEN;
    return report;
  }
  // An existing target keeps its permissions when it is replaced.
  struct stat existing;
  bool hadTarget = stat(path.c_str(), &existing) == 0;

  PXSetProgressCallback(pump ? PumpMessagesCallback : nullptr, reinterpret_cast<DWORD_PTR>(pump));
  OutputPageFeeder feeder(pages, progress, threads, pump, std::move(previews), format);
  const Written written = format == OutputFormat::kPDF ? WritePDF(temporary, path, feeder, pump)
                                                       : WriteTIFF(temporary, feeder);
  const int writerError = written.error;
  report.bytes = written.bytes;
  PXSetProgressCallback(nullptr, 0);

  report.pagesWritten = feeder.delivered();
  if (feeder.cancelled()) {
    report.cancelled = true;
  } else if (feeder.error()) {
    report.error = feeder.error();
    report.failedPage = feeder.failedPage();
    report.failedPath = pages[size_t(feeder.failedPage())].sourcePath;
  } else if (writerError) {
    report.error = writerError;
  } else if (written.pages == 0) {
    report.error = PX_ERR_FILE_WRITE;
  }
  if (report.ok()) {
    if (hadTarget) chmod(temporary.c_str(), existing.st_mode & 07777);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) report.error = PX_ERR_FILE_WRITE;
  }
  if (!report.ok()) std::remove(temporary.c_str());
  return report;
}
