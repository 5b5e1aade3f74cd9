// CPageWeaverImageView: the preview of the selected page, on a dark red ground with a
// margin of 10 pixels, scrolling when it does not fit. It also brings up the busy dialog
// half a second into an output run, even before the first progress report.
#ifndef PAGEWEAVER_UI_IMAGE_VIEW_H
#define PAGEWEAVER_UI_IMAGE_VIEW_H

#include <QImage>
#include <QScrollArea>
#include <functional>

#include "document/interfaces.h"

class QTimer;

class CPageWeaverImageView : public QScrollArea, public DocumentView {
  Q_OBJECT
 public:
  explicit CPageWeaverImageView(QWidget* parent = nullptr);

  void OnUpdate(PageListHint hint, const PageHint* pageHint) override;
  // Called when the busy timer fires.
  void SetBusyTimeout(std::function<void()> callback) { busyTimeout_ = std::move(callback); }

  const QImage& Preview() const { return preview_; }
  // The size of the scrolled area: the picture with its margins.
  QSize ScrollSize() const;
  bool BusyTimerActive() const;

 private:
  class Canvas;
  void ShowPreview(const QImage& preview);

  QImage preview_;
  Canvas* canvas_;
  QTimer* busyTimer_;
  std::function<void()> busyTimeout_;
};

#endif  // PAGEWEAVER_UI_IMAGE_VIEW_H
