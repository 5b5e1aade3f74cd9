// The user's settings (file-name sort order when adding several files, and the preview
// size) kept with QSettings; a library of its own, so that the document and the
// command-line tool do without Qt.
#ifndef PAGEWEAVER_DOCUMENT_PREFERENCES_H
#define PAGEWEAVER_DOCUMENT_PREFERENCES_H

#include <memory>
#include <string>

#include "document_preferences.h"
#include "name_order.h"

class QSettings;

// The persisted settings: organisation "Tinkerfield", application "PageWeaver", values
// SortStyle, PreviewSizeX, PreviewSizeY and CopyUnchangedPages, and the window layouts. Missing or
// unreadable values give their defaults.
class Preferences : public DocumentPreferences {
 public:
  // The user's settings.
  Preferences();
  // Settings kept in an INI file of the given path (tests, or a portable setup).
  explicit Preferences(const std::string& iniPath);
  ~Preferences() override;
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  int SortStyle() const override;
  PreviewSize ReadPreviewSize() const;
  // Writes all three values; false when they could not be stored.
  bool Write(int sortStyle, const PreviewSize& size);
  // "Turn photographs upright (EXIF orientation)", value TurnPhotographsUpright: on
  // unless the user switched it off.
  bool TurnPhotographsUpright() const;
  bool WriteTurnPhotographsUpright(bool on);
  // "Copy unchanged pages without recompressing" (CopyUnchangedPages, 1 or 0; on when
  // missing).
  bool CopyUnchangedPages() const override;
  bool WriteCopyUnchangedPages(bool copy);

  // Window layouts kept between runs (the bytes a window saves of its geometry or a
  // splitter of its sizes), by name under "Window/"; empty when none was kept.
  std::string ReadLayout(const std::string& name) const;
  void WriteLayout(const std::string& name, const std::string& bytes);

 private:
  int ReadInt(const char* name, int fallback) const;
  std::unique_ptr<QSettings> settings_;
};

#endif  // PAGEWEAVER_DOCUMENT_PREFERENCES_H
