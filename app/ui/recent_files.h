// The four most recently saved or opened output files, kept with the user's settings.
#ifndef PAGEWEAVER_UI_RECENT_FILES_H
#define PAGEWEAVER_UI_RECENT_FILES_H

#include <QStringList>

class RecentFileList {
 public:
  static constexpr int kSize = 4;

  RecentFileList();
  QStringList Files() const;
  // Puts the path first; an entry of the same file moves up, the oldest falls off.
  void Add(const QString& path);
};

#endif  // PAGEWEAVER_UI_RECENT_FILES_H
