#include "preferences.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace {

constexpr char kOrganisation[] = "Tinkerfield";
constexpr char kApplication[] = "PageWeaver";

}  // namespace

Preferences::Preferences() : settings_(new QSettings(kOrganisation, kApplication)) {}

Preferences::Preferences(const std::string& iniPath)
    : settings_(new QSettings(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

Preferences::~Preferences() = default;

int Preferences::ReadInt(const char* name, int fallback) const {
  QVariant value = settings_->value(name);
  bool ok = false;
  int v = value.toInt(&ok);
  return ok ? v : fallback;
}

int Preferences::SortStyle() const {
  return ReadInt("SortStyle", kDefaultSortStyle);
}

PreviewSize Preferences::ReadPreviewSize() const {
  return {ReadInt("PreviewSizeX", kDefaultPreviewWidth),
          ReadInt("PreviewSizeY", kDefaultPreviewHeight)};
}

bool Preferences::CopyUnchangedPages() const {
  return ReadInt("CopyUnchangedPages", 1) != 0;
}

bool Preferences::WriteCopyUnchangedPages(bool copy) {
  if (!settings_->isWritable()) return false;
  settings_->setValue("CopyUnchangedPages", copy ? 1 : 0);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool Preferences::Write(int sortStyle, const PreviewSize& size) {
  if (!settings_->isWritable()) return false;
  settings_->setValue("SortStyle", sortStyle);
  settings_->setValue("PreviewSizeX", size.width);
  settings_->setValue("PreviewSizeY", size.height);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool Preferences::TurnPhotographsUpright() const {
  return ReadInt("TurnPhotographsUpright", 1) != 0;
}

bool Preferences::WriteTurnPhotographsUpright(bool on) {
  if (!settings_->isWritable()) return false;
  settings_->setValue("TurnPhotographsUpright", on ? 1 : 0);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

std::string Preferences::ReadLayout(const std::string& name) const {
  QByteArray bytes = settings_->value(QString::fromStdString("Window/" + name)).toByteArray();
  return bytes.toStdString();
}

void Preferences::WriteLayout(const std::string& name, const std::string& bytes) {
  settings_->setValue(QString::fromStdString("Window/" + name), QByteArray::fromStdString(bytes));
}
