// CPageWeaverListView: the thumbnails of the pages, in output order (the rows of its
// CPageListModel). The user selects a page here (the other views show it), drags pages
// into a new order, removes them, opens their output options and drops files to add them.
#ifndef PAGEWEAVER_UI_PAGE_LIST_VIEW_H
#define PAGEWEAVER_UI_PAGE_LIST_VIEW_H

#include <QListView>
#include <QStringList>
#include <memory>

#include "document/document.h"
#include "page_list_editor.h"
#include "page_list_model.h"

class QAction;
class QTimer;

class CPageWeaverListView : public QListView, public DocumentView {
  Q_OBJECT
 public:
  explicit CPageWeaverListView(CPageWeaverDoc* doc, QWidget* parent = nullptr);
  ~CPageWeaverListView() override;

  void OnUpdate(PageListHint hint, const PageHint* pageHint) override;
  // The pages in display order: the order the output asks for.
  CPageListModel* PageModel() const { return model_; }
  // Every change of the list goes through the editor, as a step that can be undone.
  CPageListEditor* Editor() const { return editor_.get(); }
  // "View Page" (Space): asks for the full-size view of the current page.
  QAction* ViewPageAction() const { return viewPageAction_; }

  // Moves the item at `from` to the index `to` had before the move (so an item moved
  // down lands after the target, one moved up before it) and selects it.
  void MoveItem(int from, int to);
  // Removes the selected pages (nothing while the output is being written).
  void RemoveSelectedPages();
  // Opens the output options of each selected page in turn.
  void EditSelectedPages();
  // Opens one options dialog for all the selected pages.
  void EditSelectedPagesTogether();
  // Adds files as pages: links are replaced by the files they point to. Ignored while the
  // output is being written.
  void AddDroppedFiles(const QStringList& paths);

  // The selected pages' ids in list order, and the page of the current item (-1: none).
  std::vector<int32_t> SelectedPageIds() const;
  int32_t CurrentPageId() const;
  // Makes the pages the selection, with `current` the current item; the other views are
  // told of the current page when it is selected.
  void SelectPages(const std::vector<int32_t>& ids, int32_t current);
  void ScrollToCurrent();
  // Moves the pages a drag of this list carries as a drop on the page in row `target`
  // does (see CPageListModel::dropMimeData), as one step; they stay selected.
  void DropPages(const QMimeData* mime, int target);

 signals:
  // The user asked to see the current page at full size.
  void ViewPageRequested();

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
  bool IsOwnDrag(const QDropEvent* event) const;
  void OnSelectionChanged(const QItemSelection& selected);
  void SetDropTarget(int row);
  void RequestScroll(int direction);
  void ScrollOneLine();

  CPageWeaverDoc* doc_;
  CPageListModel* model_;
  int32_t currentPage_ = -1;  // the page last reported as selected
  int dragSource_ = -1;
  int dropTarget_ = -1;
  bool dragging_ = false;
  int scrollDirection_ = 0;  // 1 up, 2 down, 0 none
  QTimer* scrollTimer_;
  QAction* viewPageAction_;
  std::unique_ptr<CPageListEditor> editor_;  // last: its steps go before the rest
};

#endif  // PAGEWEAVER_UI_PAGE_LIST_VIEW_H
