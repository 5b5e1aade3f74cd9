// CPrevFileDlg: the file dialog of "Add pages", with a panel beside the file list that
// previews the selected file and shows its size in pixels. CPreviewStatic is the picture.
#ifndef PAGEWEAVER_UI_PREV_FILE_DLG_H
#define PAGEWEAVER_UI_PREV_FILE_DLG_H

#include <QFileDialog>
#include <QFrame>
#include <QImage>
#include <QStringList>

class QCheckBox;
class QLabel;

class CPreviewStatic : public QFrame {
  Q_OBJECT
 public:
  explicit CPreviewStatic(QWidget* parent = nullptr);

  // Shows the first image of the file fitted into the square; false (and an empty
  // square) when it cannot be read.
  bool Load(const QString& path);
  void Clear();
  int SourceWidth() const { return sourceWidth_; }
  int SourceHeight() const { return sourceHeight_; }
  const QImage& Picture() const { return picture_; }
  // Where the picture goes: inside the frame's border.
  QRect PictureArea() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
};

class CPrevFileDlg : public QFileDialog {
  Q_OBJECT
 public:
  explicit CPrevFileDlg(QWidget* parent = nullptr);

  // Whether the panel previews files; shared by every opening during the run.
  static bool ShowPreview();
  static void SetShowPreview(bool on);

  CPreviewStatic* Preview() const { return preview_; }
  QCheckBox* PreviewBox() const { return previewBox_; }
  QString SizeText() const;

  // What the panel does when the selection, the folder or the check box changes.
  void OnSelectionChanged(const QString& path);
  void OnFolderChanged();
  void OnPreviewClicked(bool checked);

 private:
  void UpdateSizeText();

  QString current_;
  CPreviewStatic* preview_;
  QCheckBox* previewBox_;
  QLabel* sizeText_;
};

namespace pwui {

// The file types offered when adding pages, as the dialog lists them, the first one
// selected when it opens.
struct FileFilter {
  const char* name;
  const char* patterns;  // separated by ';'
};
const std::vector<FileFilter>& AddImagesFilters();
// The patterns a type matches: its own, the other names of its formats, each in lower and
// upper case, and for the first two types every extension the image object reads.
QStringList FilterPatterns(size_t index);
// Sets the add-images file types on a dialog: their names as listed above.
void SetAddImagesFilters(QFileDialog* dialog);

// The largest selection "Add pages" takes at once, counted the way the selection is
// handed over: the folder, then every name, each with a terminating character, and one
// more at the end.
constexpr int kSelectionBufferSize = 52000;
constexpr int kMaxFilesHint = 400;
bool SelectionFitsBuffer(const QStringList& files);

}  // namespace pwui

#endif  // PAGEWEAVER_UI_PREV_FILE_DLG_H
