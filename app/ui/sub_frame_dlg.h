// CSubFrameDlg: "Choose sub-frames to add" — a thumbnail of every page of a multi-page
// file, from which the user picks the pages to add.
#ifndef PAGEWEAVER_UI_SUB_FRAME_DLG_H
#define PAGEWEAVER_UI_SUB_FRAME_DLG_H

#include <QDialog>
#include <QString>
#include <vector>

class QLabel;
class QListWidget;

class CSubFrameDlg : public QDialog {
  Q_OBJECT
 public:
  // The list is filled right after the dialog first appears.
  explicit CSubFrameDlg(const QString& path, QWidget* parent = nullptr);

  // After OK: the page numbers of the selected items, ascending. Empty after Cancel.
  const std::vector<int>& Result() const { return result_; }

  // Reads every page of the file into the list (once; later calls do nothing).
  void FillFrames();
  void SelectAll();
  QListWidget* FrameList() const { return list_; }

  void accept() override;
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QString path_;
  std::vector<int> result_;
  bool filled_ = false;
  bool closed_ = false;
  QListWidget* list_;
  QLabel* fileLabel_;
};

#endif  // PAGEWEAVER_UI_SUB_FRAME_DLG_H
