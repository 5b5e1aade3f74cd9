#include "job_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "json.h"

namespace cli {

bool SettingField::Accepts(long long value) const {
  if (!values.empty()) return std::find(values.begin(), values.end(), value) != values.end();
  return value >= low && value <= high;
}

const std::vector<SettingField>& SettingFields() {
  using S = PageOutputSettings;
  // Besides the dialog's values: unit 0 is what metafile pages start with (no units) and
  // depth 0 is --depth keep, so that every job `pages` prints can be built.
  static const std::vector<SettingField> fields = {
      {"width", &S::width, 1, kMaxOutputSize, {}, "1 to 20000"},
      {"height", &S::height, 1, kMaxOutputSize, {}, "1 to 20000"},
      {"resolution_x", &S::resolutionX, 0, kMaxOutputResolution, {}, "0 to 20000"},
      {"resolution_y", &S::resolutionY, 0, kMaxOutputResolution, {}, "0 to 20000"},
      {"resolution_unit",
       &S::resolutionUnit,
       0,
       0,
       {0, 1, 2, 3},
       "0 or 1 (none), 2 (inch), 3 (cm)"},
      {"bits_per_pixel",
       &S::bitsPerPixel,
       0,
       0,
       {1, 8, 24, 0},
       "1, 8, 24 or 0 (the input's depth)"},
      {"compression",
       &S::compression,
       0,
       0,
       {kCompressionNone, kCompressionHuffman, kCompressionGroup3, kCompressionGroup4,
        kCompressionLZW, kCompressionJPEG, kCompressionPackBits, kCompressionDeflate},
       "1 (none), 2 (CCITT Huffman), 3 (CCITT Group 3), 4 (CCITT Group 4), 5 (LZW), "
       "7 (JPEG), 32773 (PackBits), 32946 (Deflate)"},
      {"rotation", &S::rotation, 0, 0, {0, 90, 180, 270}, "0, 90, 180 or 270"},
      {"flip", &S::flip, 0, 0, {0, 1, 2}, "0 (none), 1 (horizontal), 2 (vertical)"},
      {"threshold", &S::threshold, 0, kMaxThreshold, {}, "0 to 255"},
      {"dither", &S::dither, 0, 1, {}, "true or false", true},
      {"jpeg_quality", &S::jpegQuality, kMinJPEGQuality, kMaxJPEGQuality, {}, "1 to 100"},
  };
  return fields;
}

const SettingField& Field(const std::string& name) {
  const auto& fields = SettingFields();
  auto it = std::find_if(fields.begin(), fields.end(),
                         [&](const SettingField& f) { return name == f.name; });
  return it != fields.end() ? *it : fields.front();
}

namespace {

// Prints the faults of one job file, each on a line of its own.
class FaultPrinter {
 public:
  explicit FaultPrinter(const std::string& jobPath) : jobPath_(jobPath) {}

  void File(const std::string& what) {
    ++count_;
    std::fprintf(stderr, "pageweaver-cli: %s: %s\n", jobPath_.c_str(), what.c_str());
  }
  void Page(size_t index, const std::string& path, const std::string& what) {
    std::string page = "page " + std::to_string(index + 1);
    if (!path.empty()) page += " (" + path + ")";
    File(page + ": " + what);
  }
  int count() const { return count_; }

 private:
  const std::string& jobPath_;
  int count_ = 0;
};

// The value as the job file wrote it, for messages.
std::string Shown(const json::Value& v) {
  return v.kind() == json::Value::Kind::kString ? "\"" + v.AsString() + "\"" : v.Dump();
}

// The value when it is a whole number an int holds.
bool WholeNumber(const json::Value& v, long long* out) {
  if (v.kind() != json::Value::Kind::kNumber) return false;
  double d = v.AsNumber();
  if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 2147483647.0) return false;
  *out = static_cast<long long>(d);
  return true;
}

std::string FieldNames() {
  std::string names = "path, frame, copy";
  for (const SettingField& f : SettingFields()) names += std::string(", ") + f.name;
  return names;
}

// A resolution of 0 is written as none at all, so it goes only with "no units": with a
// unit it would silently become 1 x 1 without one.
void CheckNoResolution(const JobPage& page, size_t index, FaultPrinter& faults) {
  const int32_t* unit = nullptr;
  for (const auto& [field, value] : page.settings)
    if (field->member == &PageOutputSettings::resolutionUnit) unit = &value;
  for (const auto& [field, value] : page.settings) {
    bool resolution = field->member == &PageOutputSettings::resolutionX ||
                      field->member == &PageOutputSettings::resolutionY;
    if (resolution && value == 0 && (!unit || *unit > 1))
      faults.Page(index, page.path,
                  "\"" + std::string(field->name) +
                      "\" 0 is not allowed: 1 to 20000 (0, no resolution, only with "
                      "\"resolution_unit\" 0 or 1)");
  }
}

void ReadPage(const json::Value& entry, size_t index, FaultPrinter& faults, JobPage* page) {
  if (entry.kind() != json::Value::Kind::kObject) {
    faults.Page(index, "", "a page is an object with a \"path\", not " + Shown(entry));
    return;
  }
  const json::Value* path = entry.Find("path");
  if (path && path->kind() == json::Value::Kind::kString && !path->AsString().empty())
    page->path = path->AsString();
  else if (path)
    faults.Page(index, "", "\"path\" " + Shown(*path) + " is not a file name");
  else
    faults.Page(index, "", "no \"path\"");

  for (const auto& [name, value] : entry.Members()) {
    if (name == "path") continue;
    long long number = 0;
    bool whole = WholeNumber(value, &number);
    if (name == "frame") {
      if (!whole || number < 0)
        faults.Page(index, page->path,
                    "\"frame\" " + Shown(value) + " is not allowed: a page number from 0");
      else
        page->frame = int(number);
      continue;
    }
    if (name == "copy") {
      if (value.kind() == json::Value::Kind::kBool)
        page->copy = value.AsBool();
      else
        faults.Page(index, page->path,
                    "\"copy\" " + Shown(value) + " is not allowed: true or false");
      continue;
    }
    const auto& fields = SettingFields();
    auto field = std::find_if(fields.begin(), fields.end(),
                              [&](const SettingField& f) { return name == f.name; });
    if (field == fields.end()) {
      faults.Page(index, page->path,
                  "unknown field \"" + name + "\" (fields: " + FieldNames() + ")");
    } else if (field->flag) {
      if (value.kind() == json::Value::Kind::kBool)
        page->settings.emplace_back(&*field, int32_t(value.AsBool()));
      else
        faults.Page(index, page->path,
                    "\"" + name + "\" " + Shown(value) + " is not allowed: " + field->allowed);
    } else if (!whole || !field->Accepts(number)) {
      faults.Page(index, page->path,
                  "\"" + name + "\" " + Shown(value) + " is not allowed: " + field->allowed);
    } else {
      page->settings.emplace_back(&*field, int32_t(number));
    }
  }
  CheckNoResolution(*page, index, faults);
}

}  // namespace

bool ReadJobFile(const std::string& jobPath, std::vector<JobPage>* pages) {
  FaultPrinter faults(jobPath);
  std::ifstream in(jobPath);
  if (!in) {
    faults.File("cannot be read");
    return false;
  }
  std::string text((std::istreambuf_iterator<char>(in)), {});
  json::Value job;
  std::string error;
  if (!json::Parse(text, &job, &error)) {
    faults.File(error);
    return false;
  }
  if (job.kind() != json::Value::Kind::kArray) {
    faults.File("a job file is a JSON array of pages");
    return false;
  }
  pages->clear();
  for (size_t i = 0; i < job.Items().size(); ++i) {
    JobPage page;
    ReadPage(job.Items()[i], i, faults, &page);
    pages->push_back(std::move(page));
  }
  return faults.count() == 0;
}

}  // namespace cli
