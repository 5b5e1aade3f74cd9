#include "busy_dlg.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "bitmap_image.h"
#include "document/page_image.h"
#include "gradient_progress.h"
#include "icons.h"
#include "message_box.h"

namespace {

constexpr int kDialogWidth = 260;
constexpr int kPictureHeight = 110;
constexpr int kPictureMargin = 3;
constexpr int kAnimationMs = 300;

}  // namespace

// The lower, etched frame: the picture of the page, centred.
class CBusyDlg::PictureArea : public QFrame {
 public:
  explicit PictureArea(const QImage* picture) : picture_(picture) {
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setFixedSize(kDialogWidth - 20, kPictureHeight);
  }
  QRect ImageRect() const {
    return rect().adjusted(kPictureMargin, kPictureMargin, -kPictureMargin, -kPictureMargin);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    if (picture_->isNull()) return;
    QRect area = ImageRect();
    // Halves rounded towards minus infinity, as a picture larger than the area needs.
    auto half = [](int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); };
    int x = area.left() + half(area.width() - picture_->width());
    int y = area.top() + half(area.height() - picture_->height());
    QPainter(this).drawImage(x, y, *picture_);
  }

 private:
  const QImage* picture_;
};

CBusyDlg::CBusyDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("%1 is busy...").arg(pwui::kProductName));
  setModal(false);

  cancelButton_ = new QPushButton(QStringLiteral("Cancel"));
  cancelButton_->setObjectName("cancel");
  auto* appIcon = new QLabel;
  appIcon->setPixmap(pwui::AppIcon().pixmap(32, 32));
  animation_ = new QLabel;
  animation_->setObjectName("animation");
  animation_->setFixedSize(36, 36);
  animation_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  animation_->setAlignment(Qt::AlignCenter);
  status_ = new QLabel;
  status_->setObjectName("status");
  status_->setAlignment(Qt::AlignCenter);
  status_->setTextFormat(Qt::PlainText);
  status_->setMinimumWidth(kDialogWidth - 20);
  status_->setMaximumWidth(kDialogWidth - 20);
  progress_ = new CGradientProgress;
  progress_->setObjectName("progress");
  progress_->setFixedHeight(18);
  progress_->hide();
  lowerFrame_ = new PictureArea(&picture_);

  auto* upperFrame = new QFrame;
  upperFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto* top = new QHBoxLayout;
  top->addWidget(appIcon);
  top->addStretch();
  top->addWidget(cancelButton_);
  top->addStretch();
  top->addWidget(animation_);
  auto* upper = new QVBoxLayout(upperFrame);
  upper->addLayout(top);
  upper->addWidget(status_);
  upper->addWidget(progress_);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(upperFrame);
  layout->addWidget(lowerFrame_);

  timer_ = new QTimer(this);
  timer_->setInterval(kAnimationMs);
  connect(timer_, &QTimer::timeout, this, &CBusyDlg::Animate);
  connect(cancelButton_, &QPushButton::clicked, this, &CBusyDlg::reject);

  SetStatusText(QString());
  ShowImageArea(false);
  ShowProgressBar(true);
  // Dark blue to light blue: there are no caption colours to follow here.
  progress_->SetColors(QColor(0, 0, 64), QColor(128, 128, 255));
  progress_->SetRange(0, 100);
  progress_->ShowPercent(true);
}

CBusyDlg::~CBusyDlg() = default;

void CBusyDlg::Start(CancelSink* cancel) {
  cancel_ = cancel;
  running_ = true;
  cancelled_ = false;
  hide();
  SetPercent(0);
  SetStatusText(QString());
  ShowImageArea(true);
}

void CBusyDlg::ShowProgress(const std::string& text, int percent, const CPageImage* image) {
  // After Cancel the dialog stays away until the run has ended.
  if (!running_ || cancelled_) return;
  if (image && image->HasPixels()) SetPreviewImage(*image);
  SetPercent(percent);
  SetStatusText(QString::fromStdString(text));
  if (!isVisible()) show();
}

void CBusyDlg::Finish() {
  running_ = false;
  ShowImageArea(false);
  hide();
  cancel_ = nullptr;
}

void CBusyDlg::ShowDuringRun() {
  if (running_ && !cancelled_ && !isVisible()) show();
}

void CBusyDlg::SetStatusText(const QString& text) {
  status_->setText(text);
}

void CBusyDlg::SetPercent(int percent) {
  progress_->SetPos(percent);
}

void CBusyDlg::ShowProgressBar(bool shown) {
  progress_->setVisible(shown);
}

QString CBusyDlg::StatusText() const {
  return status_->text();
}

int CBusyDlg::Percent() const {
  return progress_->Pos();
}

void CBusyDlg::ShowImageArea(bool shown) {
  imageAreaShown_ = shown;
  lowerFrame_->setVisible(shown);
}

void CBusyDlg::SetPreviewImage(const CPageImage& image) {
  if (!imageAreaShown_) return;
  if (image.HasPixels()) {
    QRect area = lowerFrame_->ImageRect();
    uint32_t width = 0, height = 0;
    image.FitSize(uint32_t(area.width()), uint32_t(area.height()), &width, &height);
    CPageImage fitted;
    if (width && height && image.ScaledCopy(width, height, kResizeDefault, &fitted) == 0)
      picture_ = pwui::ImageFromPageImage(fitted);
  }
  lowerFrame_->update();
}

void CBusyDlg::reject() {
  if (running_) cancelled_ = true;
  if (cancel_) cancel_->Cancel();
  QDialog::reject();
}

void CBusyDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  animationFrame_ = 0;
  Animate();
  timer_->start();
}

void CBusyDlg::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  timer_->stop();
  animationFrame_ = 0;
  // The next run starts without the last picture of this one.
  picture_ = QImage();
}

void CBusyDlg::Animate() {
  animation_->setPixmap(pwui::AnimationFrame(animationFrame_));
  animationFrame_ = (animationFrame_ + 1) % pwui::kAnimationSlots;
}
