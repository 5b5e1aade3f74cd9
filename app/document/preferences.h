// The user's settings (file-name sort order when adding several files, and the preview
// size) kept with QSettings, and the three file-name orders.
#ifndef PAGEWEAVER_DOCUMENT_PREFERENCES_H
#define PAGEWEAVER_DOCUMENT_PREFERENCES_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class QSettings;

enum SortStyle {
  kSortNone = 0,
  kSortAlphabetical = 1,
  kSortAlphabeticalReverse = 2,
  kSortAlphaNumeric = 3,
  kSortAlphaNumericReverse = 4,
  kSortDate = 5,
  kSortDateReverse = 6,
};

constexpr int kDefaultSortStyle = kSortAlphaNumeric;
constexpr int kDefaultPreviewWidth = 280;
constexpr int kDefaultPreviewHeight = 500;
constexpr int kMinPreviewSize = 100;
constexpr int kMaxPreviewSize = 1000;

struct PreviewSize {
  int width = kDefaultPreviewWidth;
  int height = kDefaultPreviewHeight;
  bool operator==(const PreviewSize&) const = default;
};

// The persisted settings: organisation "Tinkerfield", application "PageWeaver", values
// SortStyle, PreviewSizeX and PreviewSizeY, and the window layouts. Missing or unreadable
// values give their defaults.
class Preferences {
 public:
  // The user's settings.
  Preferences();
  // Settings kept in an INI file of the given path (tests, or a portable setup).
  explicit Preferences(const std::string& iniPath);
  ~Preferences();
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  int SortStyle() const;
  PreviewSize ReadPreviewSize() const;
  // Writes all three values; false when they could not be stored.
  bool Write(int sortStyle, const PreviewSize& size);
  // "Turn photographs upright (EXIF orientation)", value TurnPhotographsUpright: on
  // unless the user switched it off.
  bool TurnPhotographsUpright() const;
  bool WriteTurnPhotographsUpright(bool on);

  // Window layouts kept between runs (the bytes a window saves of its geometry or a
  // splitter of its sizes), by name under "Window/"; empty when none was kept.
  std::string ReadLayout(const std::string& name) const;
  void WriteLayout(const std::string& name, const std::string& bytes);

 private:
  int ReadInt(const char* name, int fallback) const;
  std::unique_ptr<QSettings> settings_;
};

// Path comparisons behind the sort orders; each is a strict ordering ("a before b").
bool AlphabeticalLess(const std::string& a, const std::string& b);
bool AlphaNumericLess(const std::string& a, const std::string& b);
bool DateLess(const std::string& a, const std::string& b);

// The order in which the names are added for a sort style: ascending for 1, 3, 5,
// descending for 2, 4, 6, and the reverse of the delivered order for 0 and any other
// value. Names that compare equal keep their delivered order.
std::vector<std::string> SortForAdding(const std::vector<std::string>& names, int style);
// The same as positions into `names`: element k is the position of the name that comes
// k-th.
std::vector<size_t> SortedPositions(const std::vector<std::string>& names, int style);

#endif  // PAGEWEAVER_DOCUMENT_PREFERENCES_H
