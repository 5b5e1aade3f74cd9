// The GUI tests run on Qt's offscreen platform, with settings and caches of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

namespace {

// The offscreen platform says for every dialog that it cannot size windows to their
// contents, and for every window brought up that it cannot raise it; nothing else of
// Qt's output is dropped.
QtMessageHandler g_standard = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains(QLatin1String("propagateSizeHints"))) return;
  if (text.contains(QLatin1String("does not support raise()"))) return;
  if (g_standard) g_standard(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  g_standard = qInstallMessageHandler(QuietMessages);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
  qputenv("XDG_CACHE_HOME", (home.path() + "/cache").toLocal8Bit());
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Tinkerfield"));
  QApplication::setApplicationName(QStringLiteral("PageWeaver"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
