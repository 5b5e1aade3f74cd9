// pageweaver: the desktop application.
#include <QApplication>

#include "document/preferences.h"
#include "document/preview_cache.h"
#include "ui/application.h"
#include "ui/command_line.h"
#include "ui/icons.h"

int main(int argc, char** argv) {
  // Answered before Qt looks for a display, so that they work anywhere.
  if (int status = AnswerInformationalOptions(argc, argv); status >= 0) return status;
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Tinkerfield"));
  QApplication::setApplicationName(QStringLiteral("PageWeaver"));
  // The installed desktop entry carries the application id; with it Wayland compositors
  // match the window to its entry (and show the entry's icon).
  QApplication::setDesktopFileName(QStringLiteral("org.tinkerfield.PageWeaver"));
  QApplication::setWindowIcon(pwui::AppIcon());

  Preferences preferences;
  CPageWeaverApp app(&preferences, &CPreviewCache::Instance());
  if (!app.InitInstance(QApplication::arguments())) return 1;
  return QApplication::exec();
}
