// CPageWeaverListView: the thumbnails of the pages, in output order. The user selects a
// page here (the other views show it), drags pages into a new order, removes them, opens
// their output options and drops files to add them.
#ifndef PAGEWEAVER_UI_PAGE_LIST_VIEW_H
#define PAGEWEAVER_UI_PAGE_LIST_VIEW_H

#include <QListWidget>
#include <QStringList>

#include "document/document.h"

class QTimer;

class CPageWeaverListView : public QListWidget, public DocumentView, public PageOrderSource {
  Q_OBJECT
 public:
  explicit CPageWeaverListView(CPageWeaverDoc* doc, QWidget* parent = nullptr);
  ~CPageWeaverListView() override;

  void OnUpdate(PageListHint hint, const PageHint* pageHint) override;
  // The page ids of the items, first to last.
  std::vector<int32_t> PageIdsInDisplayOrder() override;

  // Moves the item at `from` to the index `to` had before the move (so an item moved
  // down lands after the target, one moved up before it) and selects it.
  void MoveItem(int from, int to);
  // Removes the selected pages (nothing while the output is being written).
  void RemoveSelectedPages();
  // Opens the output options of each selected page in turn.
  void EditSelectedPages();
  // Adds files as pages: links are replaced by the files they point to. Ignored while the
  // output is being written.
  void AddDroppedFiles(const QStringList& paths);

  int32_t PageIdAt(int row) const;
  int RowOfPage(int32_t pageId) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void startDrag(Qt::DropActions supportedActions) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool Busy() const { return doc_ && doc_->Busy(); }
  void OnSelectionChanged(const QItemSelection& selected);
  std::vector<int32_t> SelectedPageIds() const;
  void SetDropTarget(int row);
  void RequestScroll(int direction);
  void ScrollOneLine();

  CPageWeaverDoc* doc_;
  int32_t currentPage_ = -1;  // the page last reported as selected
  int dragSource_ = -1;
  int dropTarget_ = -1;
  bool dragging_ = false;
  int scrollDirection_ = 0;  // 1 up, 2 down, 0 none
  QTimer* scrollTimer_;
};

#endif  // PAGEWEAVER_UI_PAGE_LIST_VIEW_H
