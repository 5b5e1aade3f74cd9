#include "image_view.h"

#include <QPainter>
#include <QTimer>

#include "bitmap_image.h"

namespace {

constexpr int kMargin = 10;
constexpr int kEmptySize = 100;
constexpr int kBusyDelayMs = 500;
const QColor kBackground(128, 0, 0);

}  // namespace

// The scrolled surface: the picture at (10, 10).
class CPageWeaverImageView::Canvas : public QWidget {
 public:
  explicit Canvas(const QImage* preview) : preview_(preview) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, kBackground);
    setPalette(p);
    setFixedSize(kEmptySize, kEmptySize);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!preview_->isNull()) QPainter(this).drawImage(kMargin, kMargin, *preview_);
  }

 private:
  const QImage* preview_;
};

CPageWeaverImageView::CPageWeaverImageView(QWidget* parent) : QScrollArea(parent) {
  canvas_ = new Canvas(&preview_);
  setWidget(canvas_);
  setWidgetResizable(false);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette p = viewport()->palette();
  p.setColor(QPalette::Window, kBackground);
  viewport()->setPalette(p);
  viewport()->setAutoFillBackground(true);

  busyTimer_ = new QTimer(this);
  busyTimer_->setSingleShot(true);
  busyTimer_->setInterval(kBusyDelayMs);
  connect(busyTimer_, &QTimer::timeout, this, [this] {
    if (busyTimeout_) busyTimeout_();
  });
}

QSize CPageWeaverImageView::ScrollSize() const {
  return canvas_->size();
}

bool CPageWeaverImageView::BusyTimerActive() const {
  return busyTimer_->isActive();
}

void CPageWeaverImageView::ShowPreview(const QImage& preview) {
  preview_ = preview;
  if (preview_.isNull())
    canvas_->setFixedSize(kEmptySize, kEmptySize);
  else
    canvas_->setFixedSize(preview_.width() + 2 * kMargin, preview_.height() + 2 * kMargin);
  canvas_->update();
  viewport()->update();
}

void CPageWeaverImageView::OnUpdate(PageListHint hint, const PageHint* pageHint) {
  switch (hint) {
    case HINT_RESET:
      ShowPreview(QImage());
      break;
    case HINT_SHOW_PAGE:
    case HINT_PAGE_REFRESHED:
      // A page without a preview shows none, rather than the picture of the page
      // selected before it. The bitmap belongs to the cache: the view keeps a copy.
      if (pageHint) ShowPreview(pwui::ImageFromBitmap(pageHint->bitmap));
      break;
    case HINT_OUTPUT_STARTING:
      busyTimer_->start();
      break;
    default:
      break;
  }
}
