#include "recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace {

constexpr char kOrganisation[] = "Tinkerfield";
constexpr char kApplication[] = "PageWeaver";
constexpr char kGroup[] = "Recent File List";

QString Key(int i) {
  return QStringLiteral("File%1").arg(i + 1);
}

}  // namespace

RecentFileList::RecentFileList() = default;

QStringList RecentFileList::Files() const {
  QSettings settings(kOrganisation, kApplication);
  settings.beginGroup(kGroup);
  QStringList files;
  for (int i = 0; i < kSize; ++i) {
    QString file = settings.value(Key(i)).toString();
    if (!file.isEmpty()) files << file;
  }
  return files;
}

void RecentFileList::Add(const QString& path) {
  if (path.isEmpty()) return;
  QString absolute = QFileInfo(path).absoluteFilePath();
  QStringList files = Files();
  files.removeAll(absolute);
  files.prepend(absolute);
  while (files.size() > kSize) files.removeLast();
  QSettings settings(kOrganisation, kApplication);
  settings.beginGroup(kGroup);
  for (int i = 0; i < kSize; ++i) {
    if (i < files.size())
      settings.setValue(Key(i), files[i]);
    else
      settings.remove(Key(i));
  }
}
