// build and pages: a multi-page TIFF from the command line, through the same document
// and output run as the application.
#include <unistd.h>

#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "commands.h"
#include "document/document.h"
#include "document/page_image.h"
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
};

struct Options {
  std::string output;
  std::string job;
  std::string sort = "given";
  Overrides overrides;
  bool quiet = false;
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
const std::map<std::string, int> kFlips = {{"none", 0}, {"h", 1}, {"v", 2}};

bool ParseInt(const std::string& text, int low, int high, int* out) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < low || v > high) return false;
  *out = int(v);
  return true;
}

bool ParsePair(const std::string& text, char separator, int low, int high, int* a, int* b,
               bool secondOptional) {
  size_t at = text.find(separator);
  if (at == std::string::npos) {
    if (!secondOptional || !ParseInt(text, low, high, a)) return false;
    *b = *a;
    return true;
  }
  return ParseInt(text.substr(0, at), low, high, a) && ParseInt(text.substr(at + 1), low, high, b);
}

Input ParseInput(const std::string& arg) {
  struct stat st;
  size_t hash = arg.rfind('#');
  // A file whose name holds '#' is taken whole.
  if (hash == std::string::npos || stat(arg.c_str(), &st) == 0) return {arg, std::nullopt};
  int frame;
  if (!ParseInt(arg.substr(hash + 1), 0, 1000000, &frame)) return {arg, std::nullopt};
  return {arg.substr(0, hash), frame};
}

int UsageError(const std::string& what) {
  std::fprintf(stderr, "pageweaver-cli: %s\n", what.c_str());
  std::fprintf(stderr,
               "usage: pageweaver-cli build -o OUT.tif [options] INPUT[#PAGE]...\n"
               "       pageweaver-cli build -o OUT.tif [--quiet] --job FILE.json\n"
               "       pageweaver-cli pages [options] INPUT[#PAGE]... > job.json\n"
               "options: --sort given|none|alpha|alpha-rev|alnum|alnum-rev|date|date-rev\n"
               "         --size WxH  --dpi X[xY]  --unit none|inch|cm  --depth 1|8|24|keep\n"
               "         --threshold 0-255  --compression none|huffman|g3|g4|lzw|jpeg|\n"
               "         packbits|deflate  --rotate 0|90|180|270  --flip none|h|v\n"
               "         --threads N (pages converted at once; default: one per core)  --quiet\n");
  return 2;
}

// Parses the options; returns 0, or 2 after printing a usage error.
int ParseOptions(const Args& args, bool needOutput, Options* o) {
  bool unitGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    auto choice = [&](const std::map<std::string, int>& table, std::optional<int>* out) {
      std::string v;
      if (!value(&v) || !table.count(v)) return false;
      *out = table.at(v);
      return true;
    };
    std::string v;
    int x, y;
    Overrides& ov = o->overrides;
    if (a == "-o") {
      if (!value(&o->output)) return UsageError("-o needs a file name");
    } else if (a == "--job") {
      if (!value(&o->job)) return UsageError("--job needs a file name");
    } else if (a == "--threads") {
      if (!value(&v) || !ParseInt(v, 1, 64, &x)) return UsageError("--threads takes 1-64");
      o->threads = x;
    } else if (a == "--quiet" || a == "-q") {
      o->quiet = true;
    } else if (a == "--sort") {
      if (!value(&o->sort) || (o->sort != "given" && !kSortStyles.count(o->sort)))
        return UsageError("unknown sort order");
    } else if (a == "--size") {
      if (!value(&v) || !ParsePair(v, 'x', 1, 20000, &x, &y, false))
        return UsageError("--size takes WxH, each 1-20000");
      ov.width = x;
      ov.height = y;
    } else if (a == "--dpi") {
      if (!value(&v) || !ParsePair(v, 'x', 0, 20000, &x, &y, true))
        return UsageError("--dpi takes X or XxY, each 0-20000");
      ov.resolutionX = x;
      ov.resolutionY = y;
      if (!unitGiven) ov.unit = 2;
    } else if (a == "--unit") {
      if (!choice(kUnits, &ov.unit)) return UsageError("--unit takes none, inch or cm");
      unitGiven = true;
    } else if (a == "--depth") {
      if (!value(&v)) return UsageError("--depth needs a value");
      if (v == "keep")
        ov.bits = 0;
      else if (v == "1" || v == "8" || v == "24")
        ov.bits = std::atoi(v.c_str());
      else
        return UsageError("--depth takes 1, 8, 24 or keep");
    } else if (a == "--threshold") {
      if (!value(&v) || !ParseInt(v, 0, 255, &x)) return UsageError("--threshold takes 0-255");
      ov.threshold = x;
    } else if (a == "--compression") {
      if (!choice(kCompressions, &ov.compression)) return UsageError("unknown compression");
    } else if (a == "--rotate") {
      if (!value(&v) || !ParseInt(v, 0, 270, &x) || x % 90 != 0)
        return UsageError("--rotate takes 0, 90, 180 or 270");
      ov.rotation = x;
    } else if (a == "--flip") {
      if (!choice(kFlips, &ov.flip)) return UsageError("--flip takes none, h or v");
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else {
      o->inputs.push_back(ParseInput(a));
    }
  }
  if (needOutput && o->output.empty()) return UsageError("no output file (-o OUT.tif)");
  if (o->job.empty() && o->inputs.empty()) return UsageError("no input files");
  if (!o->job.empty() && !o->inputs.empty()) return UsageError("give either inputs or --job");
  return 0;
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
    ++page_;
    if (quiet_) return;
    std::fprintf(stderr, terminal_ ? "\r\033[K%3d%% page %d: %s" : "%3d%% page %d: %s\n", percent,
                 page_, text.c_str());
    std::fflush(stderr);
  }
  void Finish() override {
    if (!quiet_ && terminal_ && page_) std::fprintf(stderr, "\n");
  }

 private:
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
    // One input at a time keeps the command line's order.
    for (const std::string& path : paths) {
      doc.AddPages({path});
      if (ui.firstError) return ui.firstError;
    }
  } else {
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
  return v;
}

// Reads a job file and adds its pages in its order; 0 or an error code (printed).
int AddJob(const std::string& jobPath, CPageWeaverDoc& doc, CommandLineUI& ui) {
  std::ifstream in(jobPath);
  if (!in) return ui.Fail(PX_ERR_FILE_OPEN, jobPath);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  json::Value job;
  std::string error;
  if (!json::Parse(text, &job, &error) || job.kind() != json::Value::Kind::kArray) {
    std::fprintf(stderr, "pageweaver-cli: %s: %s\n", jobPath.c_str(),
                 error.empty() ? "a job file is a JSON array of pages" : error.c_str());
    return 2;
  }
  static const std::pair<const char*, int32_t PageOutputSettings::*> kFields[] = {
      {"width", &PageOutputSettings::width},
      {"height", &PageOutputSettings::height},
      {"resolution_x", &PageOutputSettings::resolutionX},
      {"resolution_y", &PageOutputSettings::resolutionY},
      {"resolution_unit", &PageOutputSettings::resolutionUnit},
      {"bits_per_pixel", &PageOutputSettings::bitsPerPixel},
      {"compression", &PageOutputSettings::compression},
      {"rotation", &PageOutputSettings::rotation},
      {"flip", &PageOutputSettings::flip},
      {"threshold", &PageOutputSettings::threshold}};
  for (const json::Value& entry : job.Items()) {
    const json::Value* path = entry.Find("path");
    if (entry.kind() != json::Value::Kind::kObject || !path ||
        path->kind() != json::Value::Kind::kString) {
      std::fprintf(stderr, "pageweaver-cli: %s: every page needs a \"path\"\n", jobPath.c_str());
      return 2;
    }
    const json::Value* frameValue = entry.Find("frame");
    int frame = frameValue ? int(frameValue->AsNumber()) : 0;
    bool subFrame = CPageImage::PageCount(path->AsString()) >= 2;
    if (frame != 0 && !subFrame)
      return ui.Fail(PX_ERR_PARAMETER, path->AsString() + "#" + std::to_string(frame));
    size_t before = doc.PageCount();
    int added = doc.AddPage(path->AsString(), frame, subFrame);
    if (added) return ui.Fail(added, path->AsString());
    if (doc.PageCount() == before) continue;  // the same page twice
    PageRecord record = *doc.FindPage(std::prev(doc.Pages().end())->first);
    for (const auto& [name, field] : kFields)
      if (const json::Value* v = entry.Find(name)) record.output.*field = int32_t(v->AsNumber());
    doc.UpdatePage(record);
  }
  return 0;
}

int Run(const Args& args, bool build) {
  Options o;
  if (int usage = ParseOptions(args, build, &o)) return usage;
  CPageWeaverDoc doc(nullptr, nullptr);
  CommandLineUI ui(&doc);
  doc.SetUserInterface(&ui);
  doc.SetPageOrder(&ui);
  int error = o.job.empty() ? AddInputs(o, doc, ui) : AddJob(o.job, doc, ui);
  if (error) return error == 2 ? 2 : 1;
  if (o.job.empty()) {
    for (const auto& entry : doc.Pages()) {
      PageRecord record = entry.second;
      Apply(o.overrides, &record.output);
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
