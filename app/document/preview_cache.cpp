#include "preview_cache.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "page_image.h"

namespace fs = std::filesystem;

namespace {

bool ProcessExists(long pid) {
  if (pid <= 0) return false;
  return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

std::string BaseName(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

CPreviewCache::CPreviewCache(std::string root)
    : root_(std::move(root)), folder_(root_ + "/" + std::to_string(getpid()) + "/") {}

CPreviewCache::~CPreviewCache() {
  ClearAll();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

CPreviewCache& CPreviewCache::Instance() {
  static CPreviewCache* cache = [] {
    std::string root = DefaultRoot();
    RemoveStaleFolders(root);
    return new CPreviewCache(root);
  }();
  // Destroyed at exit so that a normal end removes the run's files.
  static struct Reaper {
    ~Reaper() { delete cache; }
  } reaper;
  return *cache;
}

std::string CPreviewCache::DefaultRoot() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/PageWeaver";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.cache/PageWeaver";
}

void CPreviewCache::RemoveStaleFolders(const std::string& root) {
  std::error_code ec;
  for (const auto& item : fs::directory_iterator(root, ec)) {
    const std::string name = item.path().filename().string();
    char* end = nullptr;
    long pid = std::strtol(name.c_str(), &end, 10);
    // Only folders named by a process id are ours; leave anything else alone.
    if (name.empty() || *end || !item.is_directory(ec)) continue;
    if (pid != getpid() && !ProcessExists(pid)) fs::remove_all(item.path(), ec);
  }
}

std::string CPreviewCache::CacheFolder() const {
  return folder_;
}

int CPreviewCache::EnsureFolder() const {
  std::error_code ec;
  if (fs::is_directory(folder_, ec)) return 0;
  fs::create_directories(folder_, ec);
  return fs::is_directory(folder_, ec) ? 0 : 100;
}

std::string CPreviewCache::FileFor(const Key& key) {
  auto known = names_.find(key);
  if (known != names_.end()) return known->second;
  std::string stem = BaseName(key.first) + "(" + std::to_string(key.second) + ")";
  std::string name = stem + ".dat";
  for (int n = 2; usedNames_.count(name); ++n) name = stem + "-" + std::to_string(n) + ".dat";
  usedNames_.insert(name);
  names_[key] = name;
  return name;
}

int CPreviewCache::CreateEntry(CPageImage& image, const std::string& sourceName,
                               std::string* outPath, const PageOutputSettings* options) {
  EnsureFolder();
  Key key(sourceName, image.FrameIndex());
  std::string path = folder_ + FileFor(key);
  if (options) {
    if (int error = image.Rotate(options->rotation)) return error;
    if (int error = image.Flip(options->flip)) return error;
  }
  int result;
  if (image.Width() > uint32_t(size_.width) || image.Height() > uint32_t(size_.height)) {
    uint32_t w, h;
    image.FitSize(uint32_t(size_.width), uint32_t(size_.height), &w, &h);
    // Resize into a copy: the caller goes on to make the thumbnail from the full image.
    CPageImage reduced;
    if (int error = image.ScaledCopy(w, h, kResizeDefault, &reduced)) return error;
    result = reduced.Save(path, reduced.BitsPerPixel() == 24 ? PNG_24 : PNG_PAL);
  } else {
    result = image.Save(path, image.BitsPerPixel() == 24 ? PNG_24 : PNG_PAL);
  }
  if (result == 0) {
    Entry& entry = entries_[key];
    entry.path = path;
    if (entry.bitmap) DeleteObject(entry.bitmap);
    entry.bitmap = nullptr;
    entry.rotation = options ? options->rotation : 0;
    entry.flip = options ? options->flip : 0;
    entry.deleted = false;
  }
  if (outPath) *outPath = path;
  return result;
}

int CPreviewCache::GetPreviewBitmap(const std::string& sourceName, int frame, HBITMAP* bitmap) {
  Key key(sourceName, frame);
  auto it = entries_.find(key);
  int status = 0;
  if (it == entries_.end()) {
    CPageImage source;
    if (source.Load(sourceName, UNKNOWN, frame) != 0) return 0;
    std::string path;
    CreateEntry(source, sourceName, &path, nullptr);
    it = entries_.find(key);
    if (it == entries_.end()) return 0;
  }
  Entry& entry = it->second;
  if (!entry.bitmap) {
    CPageImage preview;
    status = preview.Load(entry.path);
    if (status == 0) status = preview.ToDeviceBitmap(&entry.bitmap);
    if (status != 0) return status;
  }
  *bitmap = entry.bitmap;
  return status;
}

void CPreviewCache::DeleteCacheFile(const std::string& sourceName, int frame) {
  Key key(sourceName, frame);
  auto it = entries_.find(key);
  if (it == entries_.end()) return;
  if (holds_.count(key)) {
    it->second.deleted = true;
    return;
  }
  std::error_code ignored;
  fs::remove(it->second.path, ignored);
}

void CPreviewCache::Hold(const std::string& sourceName, int frame) {
  ++holds_[Key(sourceName, frame)];
}

void CPreviewCache::Release(const std::string& sourceName, int frame) {
  Key key(sourceName, frame);
  auto hold = holds_.find(key);
  if (hold == holds_.end() || --hold->second > 0) return;
  holds_.erase(hold);
  auto it = entries_.find(key);
  if (it == entries_.end() || !it->second.deleted) return;
  it->second.deleted = false;
  std::error_code ignored;
  fs::remove(it->second.path, ignored);
}

void CPreviewCache::KeepCacheFile(const std::string& sourceName, int frame) {
  auto it = entries_.find(Key(sourceName, frame));
  if (it != entries_.end()) it->second.deleted = false;
}

bool CPreviewCache::HoldsPreview(const std::string& sourceName, int frame, int rotation,
                                 int flip) const {
  auto it = entries_.find(Key(sourceName, frame));
  if (it == entries_.end()) return false;
  const Entry& entry = it->second;
  if (entry.rotation != rotation || entry.flip != flip) return false;
  std::error_code ec;
  return entry.bitmap || fs::is_regular_file(entry.path, ec);
}

void CPreviewCache::ClearAll() {
  std::error_code ignored;
  for (auto& [key, entry] : entries_) {
    if (entry.bitmap) DeleteObject(entry.bitmap);
    fs::remove(entry.path, ignored);
  }
  entries_.clear();
}

bool CPreviewCache::HasEntry(const std::string& sourceName, int frame) const {
  return entries_.count(Key(sourceName, frame)) != 0;
}

std::string CPreviewCache::EntryPath(const std::string& sourceName, int frame) const {
  auto it = entries_.find(Key(sourceName, frame));
  return it == entries_.end() ? std::string() : it->second.path;
}
