#include "test_support.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "json.h"

namespace pxtest {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  path_ = fs::temp_directory_path() / ("pageweaver-test-" + std::to_string(getpid()) + "-" +
                                       std::to_string(counter++) + "-" + std::to_string(random()));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

Bytes& Bytes::u8(uint32_t v) {
  data_.push_back(uint8_t(v));
  return *this;
}
Bytes& Bytes::le16(uint32_t v) {
  return u8(v).u8(v >> 8);
}
Bytes& Bytes::le32(uint32_t v) {
  return le16(v).le16(v >> 16);
}
Bytes& Bytes::be16(uint32_t v) {
  return u8(v >> 8).u8(v);
}
Bytes& Bytes::be32(uint32_t v) {
  return be16(v >> 16).be16(v);
}
Bytes& Bytes::str(const std::string& s) {
  data_.insert(data_.end(), s.begin(), s.end());
  return *this;
}
Bytes& Bytes::raw(const std::vector<uint8_t>& b) {
  data_.insert(data_.end(), b.begin(), b.end());
  return *this;
}
Bytes& Bytes::fill(size_t n, uint8_t v) {
  data_.insert(data_.end(), n, v);
  return *this;
}
Bytes& Bytes::patchLE32(size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) data_.at(offset + i) = uint8_t(v >> (8 * i));
  return *this;
}

std::vector<uint8_t> ExifOrientation(uint16_t orientation, bool app1, bool bigEndian) {
  Bytes b;
  auto u16 = [&](uint32_t v) -> Bytes& { return bigEndian ? b.be16(v) : b.le16(v); };
  auto u32 = [&](uint32_t v) -> Bytes& { return bigEndian ? b.be32(v) : b.le32(v); };
  if (app1) b.str(std::string("Exif\0\0", 6));
  b.str(bigEndian ? "MM" : "II");
  u16(42);
  u32(8);
  u16(1);  // one entry: the orientation, a SHORT in the first half of its field
  u16(0x0112);
  u16(3);
  u32(1);
  u16(orientation);
  u16(0);
  u32(0);  // no next directory
  return b.data();
}

std::string ExifSegment(uint16_t orientation, bool bigEndian) {
  const std::vector<uint8_t> b = ExifOrientation(orientation, true, bigEndian);
  return std::string(b.begin(), b.end());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

MemorySource::MemorySource(const std::vector<uint8_t>& data)
    : source_(PXOpenMemorySource(data.data(), uint32_t(data.size()))) {}

MemorySource::~MemorySource() {
  if (source_) PXCloseSource(source_);
}

fs::path SourceDir() {
  return fs::path(PXTEST_SOURCE_DIR);
}

fs::path TestDataDir() {
  return SourceDir() / "tests" / "data";
}

fs::path CorpusDir() {
  if (const char* env = std::getenv("PAGEWEAVER_CORPUS"); env && *env) {
    fs::path p(env);
    return fs::exists(p / "manifest.json") ? p : fs::path();
  }
  fs::path p = SourceDir().parent_path() / "shared" / "corpus";
  return fs::exists(p / "manifest.json") ? p : fs::path();
}

std::vector<CorpusEntry> LoadCorpusManifest() {
  std::vector<CorpusEntry> entries;
  fs::path dir = CorpusDir();
  if (dir.empty()) return entries;
  std::ifstream in(dir / "manifest.json");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  json::Value root;
  std::string error;
  if (!json::Parse(text, &root, &error)) return entries;
  auto str = [](const json::Value& v, const char* key) {
    const json::Value* m = v.Find(key);
    return m && m->kind() == json::Value::Kind::kString ? m->AsString() : std::string();
  };
  for (const auto& [path, v] : root.Members()) {
    CorpusEntry e;
    e.path = path;
    e.sha1 = str(v, "sha1");
    e.format = str(v, "format");
    e.mode = str(v, "mode");
    e.error = str(v, "error");
    e.ref = str(v, "ref");
    e.refMode = str(v, "ref_mode");
    if (const json::Value* size = v.Find("size"); size && size->Items().size() == 2) {
      e.width = uint32_t(size->Items()[0].AsNumber());
      e.height = uint32_t(size->Items()[1].AsNumber());
    }
    if (const json::Value* frames = v.Find("frames")) e.frames = uint32_t(frames->AsNumber());
    if (const json::Value* dpi = v.Find("dpi"); dpi && dpi->Items().size() == 2) {
      e.dpiX = dpi->Items()[0].AsNumber();
      e.dpiY = dpi->Items()[1].AsNumber();
    }
    entries.push_back(std::move(e));
  }
  std::sort(entries.begin(), entries.end(),
            [](const CorpusEntry& a, const CorpusEntry& b) { return a.path < b.path; });
  return entries;
}

bool ReadReferencePNG(const std::string& path, RefImage* out) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  bool alpha = image.format & PNG_FORMAT_FLAG_ALPHA;
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  out->width = image.width;
  out->height = image.height;
  out->channels = alpha ? 4 : 3;
  out->pixels.resize(PNG_IMAGE_SIZE(image));
  bool ok = png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr);
  png_image_free(&image);
  return ok;
}

}  // namespace pxtest
