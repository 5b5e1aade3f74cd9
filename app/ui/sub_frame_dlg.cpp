#include "sub_frame_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "bitmap_image.h"
#include "document/document.h"
#include "document/page_image.h"
#include "message_box.h"

namespace {

constexpr int kFrameRole = Qt::UserRole;
// Long files show their progress every 10 pages, serving the window for up to 200 ms.
constexpr int kRefreshEvery = 10;
constexpr int kRefreshMs = 200;

}  // namespace

CSubFrameDlg::CSubFrameDlg(const QString& path, QWidget* parent) : QDialog(parent), path_(path) {
  setWindowTitle(QStringLiteral("Choose sub-frames to add"));

  list_ = new QListWidget;
  list_->setObjectName("frames");
  list_->setViewMode(QListView::IconMode);
  list_->setMovement(QListView::Static);
  list_->setResizeMode(QListView::Adjust);
  list_->setIconSize(QSize(int(kThumbnailSize), int(kThumbnailSize)));
  list_->setGridSize(QSize(int(kThumbnailSize) + 40, int(kThumbnailSize) + 30));
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->setMinimumSize(600, 220);

  fileLabel_ = new QLabel(path_);
  fileLabel_->setObjectName("file");
  fileLabel_->setTextFormat(Qt::PlainText);

  auto* selectAll = new QPushButton(QStringLiteral("Select All"));
  selectAll->setObjectName("selectAll");
  connect(selectAll, &QPushButton::clicked, this, &CSubFrameDlg::SelectAll);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSubFrameDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSubFrameDlg::reject);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(selectAll);
  bottom->addStretch();
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addWidget(fileLabel_);
  layout->addLayout(bottom);
}

void CSubFrameDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Decoding every page takes a while: the dialog appears first.
  if (!filled_) QTimer::singleShot(0, this, &CSubFrameDlg::FillFrames);
}

void CSubFrameDlg::FillFrames() {
  if (filled_) return;
  filled_ = true;
  pwui::WaitCursor wait;
  const std::string path = path_.toStdString();
  const QString name = QFileInfo(path_).fileName();
  const QColor background = list_->palette().color(QPalette::Base);
  int count = CPageImage::PageCount(path);
  for (int i = 0; i < count; ++i) {
    // The user may have closed the dialog while it was being filled.
    if (closed_) break;
    CPageImage image;
    if (image.Load(path, UNKNOWN, i) == 0) {
      QImage thumbnail = pwui::MakeThumbnail(image, background);
      if (!thumbnail.isNull()) {
        // Each item carries its page number: a page that cannot be read gets no item,
        // and the positions of the items after it are then not their page numbers.
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)),
                                         QStringLiteral("%1 - (%2)").arg(name).arg(i));
        item->setData(kFrameRole, i);
        list_->addItem(item);
      }
    }
    if (i % kRefreshEvery == 0) {
      list_->repaint();
      QApplication::processEvents(QEventLoop::AllEvents, kRefreshMs);
    }
  }
}

void CSubFrameDlg::SelectAll() {
  list_->selectAll();
}

void CSubFrameDlg::accept() {
  result_.clear();
  for (int row = 0; row < list_->count(); ++row)
    if (list_->item(row)->isSelected())
      result_.push_back(list_->item(row)->data(kFrameRole).toInt());
  QDialog::accept();
}

void CSubFrameDlg::done(int result) {
  closed_ = true;
  QDialog::done(result);
}
