// CPageViewerDlg: "View Page" — a page read from its source at full resolution, turned
// and flipped as the output will turn and flip it, in a window of its own. It starts
// fitted into the window (never enlarged); "100%" shows every pixel, Ctrl+wheel and
// Ctrl+plus/minus zoom, dragging pans. There is one such window, and while it is open it
// follows the selected page.
#ifndef PAGEWEAVER_UI_PAGE_VIEWER_DLG_H
#define PAGEWEAVER_UI_PAGE_VIEWER_DLG_H

#include <QDialog>
#include <QImage>
#include <cstdint>

#include "document/document.h"

class QAction;
class QGraphicsPixmapItem;
class QGraphicsScene;
class QLabel;

class CPageViewerDlg : public QDialog, public DocumentView {
  Q_OBJECT
 public:
  // The document is not owned; the window is one of its views while it lives.
  explicit CPageViewerDlg(CPageWeaverDoc* doc, QWidget* parent = nullptr);
  ~CPageViewerDlg() override;

  void OnUpdate(PageListHint hint, const PageHint* pageHint) override;

  // Reads the page from its source and shows it fitted into the window; brings the
  // window up.
  void ShowPage(int32_t id);
  int32_t PageId() const { return pageId_; }
  // The picture as shown at 100%; null when there is no page or it could not be read.
  const QImage& Picture() const { return picture_; }
  // The scale the picture is shown at (1 = 100%), and whether it follows the window's
  // size.
  double Zoom() const { return zoom_; }
  bool FitsWindow() const { return fit_; }

  void ZoomIn();
  void ZoomOut();
  void ZoomToFit();
  void ZoomToActualSize();

  QAction* zoomInAction;
  QAction* zoomOutAction;
  QAction* fitAction;
  QAction* actualSizeAction;

 private:
  class Canvas;
  void Load();
  void SetZoom(double zoom);
  void ApplyFit();
  void UpdateStatus();

  CPageWeaverDoc* doc_;
  int32_t pageId_ = -1;
  PageOutputSettings shownSettings_;  // the rotation and flip the picture was made with
  QImage picture_;
  QString problem_;  // why there is no picture
  double zoom_ = 1;
  bool fit_ = true;

  QGraphicsScene* scene_;
  QGraphicsPixmapItem* item_;
  Canvas* canvas_;
  QLabel* status_;
};

#endif  // PAGEWEAVER_UI_PAGE_VIEWER_DLG_H
