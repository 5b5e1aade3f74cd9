// CPreviewCache: reduced copies of page images kept as PNG files in a folder of this
// run, with the display bitmaps made from them on first use.
#ifndef PAGEWEAVER_DOCUMENT_PREVIEW_CACHE_H
#define PAGEWEAVER_DOCUMENT_PREVIEW_CACHE_H

#include <map>
#include <set>
#include <string>
#include <utility>

#include "document_preferences.h"
#include "page_record.h"
#include "pixolith/platform.h"

class CPageImage;

class CPreviewCache {
 public:
  // A cache whose files live in `<root>/<process id>/`.
  explicit CPreviewCache(std::string root);
  // Deletes every file made during the run, and the run's folder.
  ~CPreviewCache();
  CPreviewCache(const CPreviewCache&) = delete;
  CPreviewCache& operator=(const CPreviewCache&) = delete;

  // The process-wide cache, under the user's cache folder ($XDG_CACHE_HOME/PageWeaver,
  // or ~/.cache/PageWeaver). Folders left there by runs that ended without cleaning up
  // are removed when it is first used.
  static CPreviewCache& Instance();
  // The user's cache root folder for PageWeaver.
  static std::string DefaultRoot();
  // Removes the folders of runs whose process no longer exists.
  static void RemoveStaleFolders(const std::string& root);

  // The folder of this run, ending in a '/'.
  std::string CacheFolder() const;
  // 0 when the folder exists or was made, 100 when it could not be made.
  int EnsureFolder() const;

  PreviewSize Size() const { return size_; }
  void SetSize(const PreviewSize& size) { size_ = size; }

  // Stores a reduced copy of `image` (rotated and flipped first when options are
  // given; the image is changed in place) for (sourceName, the image's frame).
  int CreateEntry(CPageImage& image, const std::string& sourceName, std::string* outPath,
                  const PageOutputSettings* options = nullptr);
  // The display bitmap of an entry, made on first use; the cache keeps owning it.
  // Unknown entries are made from the source file. `*bitmap` is set only on success.
  int GetPreviewBitmap(const std::string& sourceName, int frame, HBITMAP* bitmap);
  // Deletes the entry's file; the entry stays. While the entry is held the file is kept
  // until the last hold ends.
  void DeleteCacheFile(const std::string& sourceName, int frame);
  // Holds for an entry that an undo step may need again: a page it can bring back keeps
  // its file while it is removed. Each Hold is ended by one Release; the file of an entry
  // deleted meanwhile goes with the last.
  void Hold(const std::string& sourceName, int frame);
  void Release(const std::string& sourceName, int frame);
  // The page is back: a deletion of its file that waits for the holds to end is called
  // off.
  void KeepCacheFile(const std::string& sourceName, int frame);
  // True when the entry can give a preview made for this rotation and flip without
  // reading the source again.
  bool HoldsPreview(const std::string& sourceName, int frame, int rotation, int flip) const;
  // Frees every bitmap, deletes every file and forgets every entry.
  void ClearAll();

  bool HasEntry(const std::string& sourceName, int frame) const;
  std::string EntryPath(const std::string& sourceName, int frame) const;

 private:
  using Key = std::pair<std::string, int>;
  struct Entry {
    std::string path;
    HBITMAP bitmap = nullptr;
    int rotation = 0;  // what the preview was turned and flipped by
    int flip = 0;
    bool deleted = false;  // deleted while held: the file goes when the holds end
  };

  // The file for a key: "name(frame).dat", made unique when another source of the same
  // base name already uses it, so that no page overwrites another page's preview.
  std::string FileFor(const Key& key);

  std::string root_;
  std::string folder_;
  PreviewSize size_;
  std::map<Key, Entry> entries_;
  std::map<Key, std::string> names_;  // file assigned to each key, kept across ClearAll
  std::set<std::string> usedNames_;
  std::map<Key, int> holds_;  // kept across ClearAll: they belong to the undo steps
};

#endif  // PAGEWEAVER_DOCUMENT_PREVIEW_CACHE_H
