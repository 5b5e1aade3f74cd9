// The GUI tests run on Qt's offscreen platform, with settings and caches of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
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
