// build and pages: a multi-page TIFF from the command line, through the same document
// and output run as the application.
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "commands.h"
#include "document/document.h"
#include "document/page_image.h"
#include "job_file.h"
#include "json.h"

namespace cli {

namespace {

struct Input {
  std::string path;
  std::optional<int> frame;  // "#PAGE"
};

// Per-page output settings the command line overrides on every page.
struct Overrides {
  std::optional<int> width, height, resolutionX, resolutionY, unit, bits, threshold;
  std::optional<int> compression, rotation, flip;
  std::optional<int> dither, jpegQuality;
};

struct Options {
  std::string output;
  std::string job;
  std::string sort = "given";
  Overrides overrides;
  bool quiet = false;
  bool turnUpright = true;             // photographs by their EXIF orientation
  bool reencode = false;               // convert every page, copy none
  std::optional<OutputFormat> format;  // --format; else by the output's name
  int threads = DefaultOutputThreads();
  std::vector<Input> inputs;
};

const std::map<std::string, int> kSortStyles = {{"none", kSortNone},
                                                {"alpha", kSortAlphabetical},
                                                {"alpha-rev", kSortAlphabeticalReverse},
                                                {"alnum", kSortAlphaNumeric},
                                                {"alnum-rev", kSortAlphaNumericReverse},
                                                {"date", kSortDate},
                                                {"date-rev", kSortDateReverse}};

const std::map<std::string, int> kCompressions = {
    {"none", kCompressionNone},         {"huffman", kCompressionHuffman},
    {"g3", kCompressionGroup3},         {"g4", kCompressionGroup4},
    {"lzw", kCompressionLZW},           {"jpeg", kCompressionJPEG},
    {"packbits", kCompressionPackBits}, {"deflate", kCompressionDeflate}};

const std::map<std::string, int> kUnits = {{"none", 1}, {"inch", 2}, {"cm", 3}};
// "keep" is depth 0: the output keeps each page's depth as loaded.
const std::map<std::string, int> kDepths = {{"1", 1}, {"8", 8}, {"24", 24}, {"keep", 0}};
const std::map<std::string, int> kFlips = {{"none", 0}, {"h", 1}, {"v", 2}};

bool ParseInt(const std::string& text, long long* out) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end || errno) return false;
  *out = v;
  return true;
}

// An integer the setting allows.
bool ParseSetting(const std::string& text, const SettingField& field, int* out) {
  long long v;
  if (!ParseInt(text, &v) || !field.Accepts(v)) return false;
  *out = int(v);
  return true;
}

// "AxB", or "A" alone (meaning AxA) when the second is optional.
bool ParsePair(const std::string& text, const SettingField& first, const SettingField& second,
               bool secondOptional, int* a, int* b) {
  size_t at = text.find('x');
  if (at == std::string::npos) {
    if (!secondOptional || !ParseSetting(text, first, a)) return false;
    return ParseSetting(text, second, b);
  }
  return ParseSetting(text.substr(0, at), first, a) && ParseSetting(text.substr(at + 1), second, b);
}

Input ParseInput(const std::string& arg) {
  struct stat st;
  size_t hash = arg.rfind('#');
  // A file whose name holds '#' is taken whole.
  if (hash == std::string::npos || stat(arg.c_str(), &st) == 0) return {arg, std::nullopt};
  long long frame;
  if (!ParseInt(arg.substr(hash + 1), &frame) || frame < 0 || frame > 1000000)
    return {arg, std::nullopt};
  return {arg.substr(0, hash), int(frame)};
}

// Parses the options; returns 0, or 2 after printing every option that was wrong.
int ParseOptions(const Args& args, const char* command, bool needOutput, Options* o) {
  std::vector<std::string> faults;
  bool unitGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    // The option's value, or a fault when the option ends the command line.
    auto value = [&]() {
      if (i + 1 < args.size()) {
        v = args[++i];
        return true;
      }
      faults.push_back(a + " needs a value");
      return false;
    };
    auto bad = [&](const std::string& allowed) {
      faults.push_back(a + " " + v + ": allowed " + allowed);
    };
    auto choice = [&](const std::map<std::string, int>& table, std::optional<int>* out,
                      const char* allowed) {
      if (!value()) return;
      if (table.count(v))
        *out = table.at(v);
      else
        bad(allowed);
    };
    int x, y;
    long long n;
    Overrides& ov = o->overrides;
    if (a == "-o") {
      if (value()) o->output = v;
    } else if (a == "--job") {
      if (value()) o->job = v;
    } else if (a == "--threads") {
      if (!value()) continue;
      if (ParseInt(v, &n) && n >= 1 && n <= 64)
        o->threads = int(n);
      else
        bad("1 to 64");
    } else if (a == "--quiet" || a == "-q") {
      o->quiet = true;
    } else if (a == "--no-auto-orient") {
      o->turnUpright = false;
    } else if (a == "--format") {
      if (!value()) continue;
      if (v == "tiff")
        o->format = OutputFormat::kTIFF;
      else if (v == "pdf")
        o->format = OutputFormat::kPDF;
      else
        bad("tiff or pdf");
    } else if (a == "--reencode") {
      o->reencode = true;
    } else if (a == "--sort") {
      if (!value()) continue;
      if (v == "given" || kSortStyles.count(v))
        o->sort = v;
      else
        bad("given, none, alpha, alpha-rev, alnum, alnum-rev, date or date-rev");
    } else if (a == "--size") {
      if (!value()) continue;
      if (ParsePair(v, Field("width"), Field("height"), false, &x, &y)) {
        ov.width = x;
        ov.height = y;
      } else {
        bad("WxH, each 1 to 20000");
      }
    } else if (a == "--dpi") {
      if (!value()) continue;
      if (ParsePair(v, Field("resolution_x"), Field("resolution_y"), true, &x, &y)) {
        ov.resolutionX = x;
        ov.resolutionY = y;
        if (!unitGiven) ov.unit = 2;
      } else {
        bad("X or XxY, each 0 to 20000");
      }
    } else if (a == "--unit") {
      choice(kUnits, &ov.unit, "none, inch or cm");
      unitGiven = true;
    } else if (a == "--depth") {
      choice(kDepths, &ov.bits, "1, 8, 24 or keep");
    } else if (a == "--threshold") {
      if (!value()) continue;
      if (ParseSetting(v, Field("threshold"), &x))
        ov.threshold = x;
      else
        bad(Field("threshold").allowed);
    } else if (a == "--dither") {
      ov.dither = 1;
    } else if (a == "--quality") {
      if (!value()) continue;
      if (ParseSetting(v, Field("jpeg_quality"), &x))
        ov.jpegQuality = x;
      else
        bad(Field("jpeg_quality").allowed);
    } else if (a == "--compression") {
      choice(kCompressions, &ov.compression,
             "none, huffman, g3, g4, lzw, jpeg, packbits or deflate");
    } else if (a == "--rotate") {
      if (!value()) continue;
      if (ParseSetting(v, Field("rotation"), &x))
        ov.rotation = x;
      else
        bad(Field("rotation").allowed);
    } else if (a == "--flip") {
      choice(kFlips, &ov.flip, "none, h or v");
    } else if (a.size() > 1 && a[0] == '-') {
      faults.push_back("unknown option '" + a + "'");
    } else {
      o->inputs.push_back(ParseInput(a));
    }
  }
  // A resolution of 0 is written as none at all; with a unit it would become 1 x 1.
  const Overrides& ov = o->overrides;
  if ((ov.resolutionX == 0 || ov.resolutionY == 0) && ov.unit != 1)
    faults.push_back("--dpi 0 means no resolution: it needs --unit none");
  if (needOutput && o->output.empty()) faults.push_back("no output file (-o OUT.tif)");
  if (!needOutput && o->format) faults.push_back("--format: only build writes a file");
  if (o->job.empty() && o->inputs.empty()) faults.push_back("no input files");
  if (!o->job.empty() && !o->inputs.empty()) faults.push_back("give either inputs or --job");
  if (faults.empty()) return 0;
  for (size_t i = 0; i + 1 < faults.size(); ++i)
    std::fprintf(stderr, "pageweaver-cli: %s\n", faults[i].c_str());
  return UsageError(command, faults.back());
}

void Apply(const Overrides& ov, PageOutputSettings* s) {
  if (ov.width) s->width = *ov.width;
  if (ov.height) s->height = *ov.height;
  if (ov.resolutionX) s->resolutionX = *ov.resolutionX;
  if (ov.resolutionY) s->resolutionY = *ov.resolutionY;
  if (ov.unit) s->resolutionUnit = *ov.unit;
  if (ov.bits) s->bitsPerPixel = *ov.bits;
  if (ov.threshold) s->threshold = *ov.threshold;
  if (ov.compression) s->compression = *ov.compression;
  if (ov.rotation) s->rotation = *ov.rotation;
  if (ov.flip) s->flip = *ov.flip;
  if (ov.dither) s->dither = *ov.dither;
  if (ov.jpegQuality) s->jpegQuality = *ov.jpegQuality;
}

// The command line's answers to the document's questions: the chooser picks the pages
// named with '#', and any failure stops the command.
class CommandLineUI : public UserInterface, public PageOrderSource {
 public:
  explicit CommandLineUI(const CPageWeaverDoc* doc) : doc_(doc) {}

  std::map<std::string, std::set<int>> frames;  // "#PAGE" picks per path
  int firstError = 0;

  // Prints "error N: message" for a page and keeps the first code.
  int Fail(int error, const std::string& what) {
    if (!firstError) firstError = error;
    std::fprintf(stderr, "error %d: %s\nFile: %s\n", error, PXGetErrorText(error), what.c_str());
    return error;
  }
  bool ContinueAfterAddError(int error, const std::string& path) override {
    Fail(error, path);
    return false;
  }

  Answer Ask(const std::string& text, Buttons buttons) override {
    if (buttons == Buttons::kYesNo || buttons == Buttons::kOkCancel) return Answer::kNo;
    std::fprintf(stderr, "%s\n", text.c_str());
    return Answer::kOk;
  }
  bool ChooseFrames(const std::string& path, int pageCount, std::vector<int>* chosen) override {
    auto it = frames.find(path);
    if (it == frames.end() || it->second.empty()) {
      for (int i = 0; i < pageCount; ++i) chosen->push_back(i);
      return true;
    }
    for (int f : it->second) {
      if (f >= pageCount) {
        Fail(PX_ERR_PARAMETER, path + "#" + std::to_string(f) + " (the file has " +
                                   std::to_string(pageCount) + " pages)");
        return false;
      }
      chosen->push_back(f);
    }
    return true;
  }
  std::vector<int32_t> PageIdsInDisplayOrder() override {
    std::vector<int32_t> ids;
    for (const auto& entry : doc_->Pages()) ids.push_back(entry.first);
    return ids;
  }

 private:
  const CPageWeaverDoc* doc_;
};

// Prints progress: one updating line on a terminal, a line per page otherwise.
class ProgressPrinter : public BusyDisplay {
 public:
  explicit ProgressPrinter(bool quiet) : quiet_(quiet), terminal_(isatty(2)) {}
  void Start(CancelSink*) override { page_ = 0; }
  void ShowProgress(const std::string& text, int percent, const CPageImage*) override {
    Print(text, percent, nullptr);
  }
  void ShowPageProgress(const std::string& text, int percent, const CPageImage*,
                        PageHandling handling) override {
    Print(text, percent, PageHandlingName(handling));
  }
  void Finish() override {
    if (!quiet_ && terminal_ && page_) std::fprintf(stderr, "\n");
  }

 private:
  // "NN% page N: PATH", and how the page goes in ("copied", "converted") when known.
  void Print(const std::string& text, int percent, const char* handling) {
    ++page_;
    if (quiet_) return;
    std::string line = text + (handling ? std::string(" (") + handling + ")" : std::string());
    std::fprintf(stderr, terminal_ ? "\r\033[K%3d%% page %d: %s" : "%3d%% page %d: %s\n", percent,
                 page_, line.c_str());
    std::fflush(stderr);
  }

  bool quiet_;
  bool terminal_;
  int page_ = 0;
};

// Adds the inputs to the document the way the command line asked; 0 or an error code
// (already printed).
int AddInputs(const Options& o, CPageWeaverDoc& doc, CommandLineUI& ui) {
  std::vector<std::string> paths;
  std::set<std::string> seen;
  for (const Input& in : o.inputs) {
    if (in.frame) ui.frames[in.path].insert(*in.frame);
    if (seen.insert(in.path).second) paths.push_back(in.path);
  }
  // "#N" on a file of one page can only mean its page 0.
  for (const auto& [path, frames] : ui.frames) {
    if (CPageImage::PageCount(path) >= 2) continue;
    for (int f : frames)
      if (f != 0) return ui.Fail(PX_ERR_PARAMETER, path + "#" + std::to_string(f));
  }
  if (o.sort == "given") {
    doc.AddPagesInOrder(paths);
  } else {
    doc.SetSortStyle(kSortStyles.at(o.sort));
    doc.AddPages(paths);
  }
  return ui.firstError;
}

json::Value PageToJson(const PageRecord& page) {
  json::Value v = json::Value::Object();
  v.Set("path", page.sourcePath);
  v.Set("frame", page.frameIndex);
  const PageOutputSettings& s = page.output;
  v.Set("width", s.width);
  v.Set("height", s.height);
  v.Set("resolution_x", s.resolutionX);
  v.Set("resolution_y", s.resolutionY);
  v.Set("resolution_unit", s.resolutionUnit);
  v.Set("bits_per_pixel", s.bitsPerPixel);
  v.Set("compression", s.compression);
  v.Set("rotation", s.rotation);
  v.Set("flip", s.flip);
  v.Set("threshold", s.threshold);
  if (!page.copyUnchanged) v.Set("copy", false);
  v.Set("dither", s.dither != 0);
  v.Set("jpeg_quality", s.jpegQuality);
  return v;
}

// Adds the pages of a checked job in its order; 0 or an error code (printed).
int AddJob(const std::vector<JobPage>& job, CPageWeaverDoc& doc, CommandLineUI& ui) {
  for (const JobPage& page : job) {
    bool subFrame = CPageImage::PageCount(page.path) >= 2;
    if (page.frame != 0 && !subFrame)
      return ui.Fail(PX_ERR_PARAMETER, page.path + "#" + std::to_string(page.frame));
    size_t before = doc.PageCount();
    if (int added = doc.AddPage(page.path, page.frame, subFrame)) return ui.Fail(added, page.path);
    if (doc.PageCount() == before) continue;  // the same page twice
    PageRecord record = *doc.FindPage(std::prev(doc.Pages().end())->first);
    for (const auto& [field, value] : page.settings) record.output.*(field->member) = value;
    record.copyUnchanged = page.copy;
    doc.UpdatePage(record);
  }
  return 0;
}

int Run(const Args& args, bool build) {
  Options o;
  if (int usage = ParseOptions(args, build ? "build" : "pages", build, &o)) return usage;
  // The whole job is checked before any page is loaded or anything is written.
  std::vector<JobPage> job;
  if (!o.job.empty() && !ReadJobFile(o.job, &job)) return 2;
  CPageImage::SetTurnUpright(o.turnUpright);
  CPageWeaverDoc doc(nullptr, nullptr);
  CommandLineUI ui(&doc);
  doc.SetUserInterface(&ui);
  doc.SetPageOrder(&ui);
  int error = o.job.empty() ? AddInputs(o, doc, ui) : AddJob(job, doc, ui);
  if (error) return error == 2 ? 2 : 1;
  if (o.job.empty()) {
    for (const auto& entry : doc.Pages()) {
      PageRecord record = entry.second;
      Apply(o.overrides, &record.output);
      doc.UpdatePage(record);
    }
  }
  // A job that `pages --reencode` prints converts its pages again when built.
  if (o.reencode) {
    for (const auto& entry : doc.Pages()) {
      PageRecord record = entry.second;
      record.copyUnchanged = false;
      doc.UpdatePage(record);
    }
  }
  if (!build) {
    json::Value pages = json::Value::Array();
    for (const auto& entry : doc.Pages()) pages.Append(PageToJson(entry.second));
    std::printf("%s\n", pages.Dump(2).c_str());
    return 0;
  }
  if (doc.PageCount() == 0) {
    std::fprintf(stderr, "pageweaver-cli: no pages to write\n");
    return 1;
  }
  ProgressPrinter printer(o.quiet);
  doc.SetBusyDisplay(&printer);
  doc.SetOutputThreads(o.threads);
  doc.SetOutputFormat(o.format);
  OutputReport report = doc.Save(o.output);
  if (report.cancelled) {
    std::fprintf(stderr, "pageweaver-cli: cancelled; %s was not written\n", o.output.c_str());
    return 1;
  }
  if (!report.ok()) {
    PrintLibraryError(report.error);
    if (report.failedPage >= 0)
      std::fprintf(stderr, "page %d: %s\n", report.failedPage + 1, report.failedPath.c_str());
    std::fprintf(stderr, "%s was not written\n", o.output.c_str());
    return 1;
  }
  if (!o.quiet)
    std::printf("%s: %zu pages, %u bytes\n", o.output.c_str(), doc.PageCount(), report.bytes);
  return 0;
}

}  // namespace

int RunBuild(const Args& args) {
  return Run(args, true);
}

int RunPages(const Args& args) {
  return Run(args, false);
}

}  // namespace cli
