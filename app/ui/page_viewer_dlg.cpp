#include "page_viewer_dlg.h"

#include <QAction>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "bitmap_image.h"
#include "document/page_image.h"
#include "message_box.h"

namespace {

constexpr double kZoomStep = 1.25;
constexpr double kMinZoom = 1.0 / 64;
constexpr double kMaxZoom = 32;
const QColor kBackground(64, 64, 64);

}  // namespace

// The picture, panned by dragging and zoomed with Ctrl+wheel around the pointer.
class CPageViewerDlg::Canvas : public QGraphicsView {
 public:
  Canvas(QGraphicsScene* scene, CPageViewerDlg* owner) : QGraphicsView(scene), owner_(owner) {
    setObjectName("pageCanvas");
    setDragMode(QGraphicsView::ScrollHandDrag);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setResizeAnchor(QGraphicsView::AnchorViewCenter);
    setBackgroundBrush(kBackground);
    setAlignment(Qt::AlignCenter);
  }

 protected:
  void wheelEvent(QWheelEvent* event) override {
    if (!(event->modifiers() & Qt::ControlModifier)) return QGraphicsView::wheelEvent(event);
    int steps = event->angleDelta().y();
    if (steps > 0) owner_->ZoomIn();
    if (steps < 0) owner_->ZoomOut();
    event->accept();
  }
  void resizeEvent(QResizeEvent* event) override {
    QGraphicsView::resizeEvent(event);
    if (owner_->fit_) owner_->ApplyFit();
  }

 private:
  CPageViewerDlg* owner_;
};

CPageViewerDlg::CPageViewerDlg(CPageWeaverDoc* doc, QWidget* parent)
    : QDialog(parent, Qt::Window), doc_(doc) {
  setObjectName("pageViewer");
  setWindowTitle(QStringLiteral("View Page"));
  setModal(false);
  resize(800, 700);

  scene_ = new QGraphicsScene(this);
  item_ = scene_->addPixmap(QPixmap());
  canvas_ = new Canvas(scene_, this);
  status_ = new QLabel;
  status_->setObjectName("viewerStatus");
  status_->setTextFormat(Qt::PlainText);

  auto* tools = new QToolBar;
  fitAction = tools->addAction(QStringLiteral("Fit to Window"), this, &CPageViewerDlg::ZoomToFit);
  fitAction->setShortcut(QKeySequence(Qt::Key_F));
  fitAction->setCheckable(true);
  actualSizeAction =
      tools->addAction(QStringLiteral("100%"), this, &CPageViewerDlg::ZoomToActualSize);
  actualSizeAction->setShortcut(QKeySequence(Qt::Key_1));
  zoomInAction = tools->addAction(QStringLiteral("Zoom In"), this, &CPageViewerDlg::ZoomIn);
  zoomInAction->setShortcuts(
      {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::Key_Plus)});
  zoomOutAction = tools->addAction(QStringLiteral("Zoom Out"), this, &CPageViewerDlg::ZoomOut);
  zoomOutAction->setShortcuts({QKeySequence::ZoomOut, QKeySequence(Qt::Key_Minus)});
  for (QAction* action : tools->actions())
    action->setToolTip(QStringLiteral("%1 (%2)").arg(
        action->text(), action->shortcut().toString(QKeySequence::NativeText)));
  addActions(tools->actions());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 4);
  layout->addWidget(tools);
  layout->addWidget(canvas_, 1);
  layout->addWidget(status_);
  status_->setContentsMargins(8, 0, 8, 0);

  if (doc_) doc_->AddView(this);
  UpdateStatus();
}

CPageViewerDlg::~CPageViewerDlg() {
  if (doc_) doc_->RemoveView(this);
}

void CPageViewerDlg::OnUpdate(PageListHint hint, const PageHint* pageHint) {
  switch (hint) {
    case HINT_RESET:
      pageId_ = -1;
      Load();
      break;
    case HINT_PAGE_REMOVED:
      if (pageHint && pageHint->pageId == pageId_) {
        pageId_ = -1;
        Load();
      }
      break;
    case HINT_SHOW_PAGE:
      // The selected page, once the selection has settled: going through a long list
      // with the keys reads only the page it stops at.
      if (pageHint && isVisible() && pageHint->pageId != pageId_) {
        pageId_ = pageHint->pageId;
        fit_ = true;  // each page starts fitted, whatever the last one was zoomed to
        QTimer::singleShot(0, this, [this, id = pageId_] {
          if (id == pageId_) Load();
        });
      }
      break;
    case HINT_PAGE_SETTINGS_CHANGED:
    case HINT_PAGE_REFRESHED:
      if (pageHint && pageHint->pageId == pageId_ && isVisible() &&
          (pageHint->record.output.rotation != shownSettings_.rotation ||
           pageHint->record.output.flip != shownSettings_.flip))
        Load();
      break;
    default:
      break;
  }
}

void CPageViewerDlg::ShowPage(int32_t id) {
  pageId_ = id;
  fit_ = true;
  Load();
  show();
  raise();
  activateWindow();
}

void CPageViewerDlg::Load() {
  picture_ = QImage();
  problem_.clear();
  const PageRecord* page = doc_ ? doc_->FindPage(pageId_) : nullptr;
  if (page) {
    pwui::WaitCursor wait;
    shownSettings_ = page->output;
    CPageImage image;
    int error = image.Load(page->sourcePath, UNKNOWN, page->frameIndex);
    if (!error) error = image.Rotate(page->output.rotation);
    if (!error) error = image.Flip(page->output.flip);
    if (!error) picture_ = pwui::ImageFromPageImage(image);
    if (error || picture_.isNull())
      problem_ = QStringLiteral("The page could not be read: %1")
                     .arg(QString::fromStdString(ErrorText(error ? error : PX_ERR_NO_MEMORY)));
    setWindowTitle(
        QStringLiteral("View Page - %1").arg(QString::fromStdString(PageDisplayName(*page))));
  } else {
    setWindowTitle(QStringLiteral("View Page"));
  }
  item_->setPixmap(QPixmap::fromImage(picture_));
  scene_->setSceneRect(item_->boundingRect());
  if (fit_)
    ApplyFit();
  else
    SetZoom(zoom_);
}

void CPageViewerDlg::SetZoom(double zoom) {
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  canvas_->setTransform(QTransform::fromScale(zoom_, zoom_));
  // Shrunk pictures are smoothed; enlarged ones show their pixels.
  item_->setTransformationMode(zoom_ < 1 ? Qt::SmoothTransformation : Qt::FastTransformation);
  fitAction->setChecked(fit_);
  UpdateStatus();
}

void CPageViewerDlg::ApplyFit() {
  fit_ = true;
  QSize area = canvas_->viewport()->size();
  double zoom = 1;
  if (!picture_.isNull() && area.width() > 0 && area.height() > 0)
    zoom = std::min(
        {1.0, double(area.width()) / picture_.width(), double(area.height()) / picture_.height()});
  SetZoom(zoom);
}

void CPageViewerDlg::ZoomIn() {
  fit_ = false;
  SetZoom(zoom_ * kZoomStep);
}

void CPageViewerDlg::ZoomOut() {
  fit_ = false;
  SetZoom(zoom_ / kZoomStep);
}

void CPageViewerDlg::ZoomToFit() {
  ApplyFit();
}

void CPageViewerDlg::ZoomToActualSize() {
  fit_ = false;
  SetZoom(1);
}

void CPageViewerDlg::UpdateStatus() {
  if (!problem_.isEmpty()) {
    status_->setText(problem_);
  } else if (picture_.isNull()) {
    status_->setText(QStringLiteral("No page"));
  } else {
    status_->setText(QStringLiteral("%1 x %2 pixels    %3%")
                         .arg(picture_.width())
                         .arg(picture_.height())
                         .arg(std::lround(zoom_ * 100)));
  }
}
