// What the document asks of the user's settings, and the values those settings take.
// Free of Qt: the document and the command-line tool need no settings store, and the
// application hands the document its Preferences (preferences.h) through this interface.
#ifndef PAGEWEAVER_DOCUMENT_DOCUMENT_PREFERENCES_H
#define PAGEWEAVER_DOCUMENT_DOCUMENT_PREFERENCES_H

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

class DocumentPreferences {
 public:
  virtual ~DocumentPreferences() = default;
  // The order of files added together: a SortStyle.
  virtual int SortStyle() const = 0;
  // Whether unchanged pages are copied as their sources store them.
  virtual bool CopyUnchangedPages() const = 0;
};

#endif  // PAGEWEAVER_DOCUMENT_DOCUMENT_PREFERENCES_H
