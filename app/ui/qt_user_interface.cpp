#include "qt_user_interface.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include "message_box.h"
#include "page_options_dlg.h"
#include "sub_frame_dlg.h"

namespace {

constexpr int kPumpBurstMs = 80;

}  // namespace

UserInterface::Answer QtUserInterface::Ask(const std::string& text, Buttons buttons) {
  return pwui::ShowMessage(parent_, QString::fromStdString(text), buttons);
}

void QtUserInterface::Beep() {
  QApplication::beep();
}

bool QtUserInterface::ChooseFrames(const std::string& path, int, std::vector<int>* frames) {
  pwui::ArrowCursor arrow;
  CSubFrameDlg dialog(QString::fromStdString(path), parent_);
  if (dialog.exec() != QDialog::Accepted) return false;
  *frames = dialog.Result();
  return true;
}

bool QtUserInterface::EditPageOptions(const PageRecord& page, PageOutputSettings* settings,
                                      bool* setAllPages, bool* changeSize) {
  pwui::ArrowCursor arrow;
  CPageOptionsDlg dialog(parent_);
  dialog.SetPage(page);
  if (dialog.exec() != QDialog::Accepted) return false;
  *settings = dialog.Settings();
  *setAllPages = dialog.SetAllPages();
  *changeSize = dialog.ChangeSize();
  return true;
}

bool QtUserInterface::EditSeveralPagesOptions(const std::vector<PageRecord>& pages,
                                              SettingsChange* change) {
  pwui::ArrowCursor arrow;
  CPageOptionsDlg dialog(parent_);
  dialog.SetPages(pages);
  if (dialog.exec() != QDialog::Accepted) return false;
  *change = dialog.Change();
  return true;
}

std::string QtUserInterface::AskSavePath() {
  pwui::ArrowCursor arrow;
  QFileDialog dialog(parent_, QStringLiteral("Save TIFF as..."));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // TIFF first and chosen; a name typed without extension takes the chosen filter's.
  dialog.setNameFilters(
      {QStringLiteral("TIFF Files (*.tif)"), QStringLiteral("PDF Files (*.pdf)")});
  dialog.setDefaultSuffix(QStringLiteral("tif"));
  QObject::connect(
      &dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.contains(QStringLiteral("*.pdf")) ? QStringLiteral("pdf")
                                                                         : QStringLiteral("tif"));
      });
  QStringList folders;
  for (const QString& file : recent_) {
    QString folder = QFileInfo(file).absolutePath();
    if (!folders.contains(folder)) folders << folder;
  }
  if (!folders.isEmpty()) {
    dialog.setHistory(folders);
    dialog.setDirectory(folders.first());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().first().toStdString();
}

bool QtUserInterface::HasPendingMessage() {
  // Qt cannot look at its queue without serving it: every burst is one pass over what
  // is waiting, and the question after it ends the burst.
  if (dispatched_) {
    dispatched_ = false;
    return false;
  }
  return true;
}

void QtUserInterface::DispatchOneMessage() {
  dispatched_ = true;
  QApplication::processEvents(QEventLoop::AllEvents, kPumpBurstMs);
}
