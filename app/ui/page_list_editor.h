// CPageListEditor: every change of the page list as a step that can be undone and redone:
// adding and removing pages, moving them, reversing and sorting the list, and the output
// settings of one, several or all pages. The thumbnail list and the main window's commands
// make their changes through it; it keeps the steps on a QUndoStack. Nothing is changed,
// undone or redone while the output is being written.
#ifndef PAGEWEAVER_UI_PAGE_LIST_EDITOR_H
#define PAGEWEAVER_UI_PAGE_LIST_EDITOR_H

#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"
#include "page_list_model.h"

class CPageListCommand;
class CPageWeaverListView;
class QUndoStack;

// The page list as one step found or left it: the pages in list order with their labels
// and thumbnails, their records, and the selection.
struct PageListState {
  std::vector<CPageListModel::Page> rows;
  std::vector<PageRecord> records;  // in list order
  std::vector<int32_t> selected;    // in list order
  int32_t current = -1;             // the page of the current item

  std::vector<int32_t> Order() const;
  // The pages, their order or their settings differ (a selection alone is no change).
  bool SamePages(const PageListState& other) const;
};

class CPageListEditor : public QObject {
  Q_OBJECT
 public:
  CPageListEditor(CPageWeaverDoc* doc, CPageWeaverListView* view);
  // The steps go before the editor they call on.
  ~CPageListEditor() override;

  QUndoStack* UndoStack() const { return stack_; }
  CPageWeaverDoc* Document() const { return doc_; }
  CPageWeaverListView* View() const { return view_; }
  // False while the output is written or while a step is being made.
  bool CanEdit() const;

  enum class Move { kUp, kDown, kToStart, kToEnd };

  // Each of these is one step ("Add 12 Pages", "Remove 3 Pages", ...), or nothing when it
  // changed nothing.
  void AddPages(const std::vector<std::string>& paths);
  void RemovePages(const std::vector<int32_t>& ids);
  void RemoveAllPages();
  // The pages together, in their order, before the page now at `destination` (the row
  // count: at the end); they become the selection.
  void MovePages(const std::vector<int32_t>& ids, int destination);
  // The selected pages one place up or down, or to the start or end of the list.
  void MoveSelectedPages(Move move);
  // The selected pages in reverse order, or every page when fewer than two are selected.
  void ReverseOrder();
  // The whole list in one of the file-name orders (1 to 6).
  void SortPages(int style);
  // "Output settings..." for each page in turn: each dialog confirmed is one step.
  void EditPageOptions(const std::vector<int32_t>& ids);
  // One dialog for all the pages; the fields changed in it are one step.
  void EditPagesTogether(const std::vector<int32_t>& ids);

  void Undo();
  void Redo();
  // Forgets every step (a new page list starts).
  void Clear();

  PageListState Capture() const;
  // Puts back the page list of a state: the pages, their order, settings, thumbnails
  // and previews, and the selection.
  void Restore(const PageListState& state);
  // The other views show the current page again (after settings changed other pages).
  void ShowCurrentPage();

 private:
  void Push(CPageListCommand* command);
  void Reorder(std::vector<int32_t> order, const QString& name, std::vector<int32_t> select = {});

  CPageWeaverDoc* doc_;
  CPageWeaverListView* view_;
  QUndoStack* stack_;
  bool making_ = false;  // a step is being made or replayed
};

#endif  // PAGEWEAVER_UI_PAGE_LIST_EDITOR_H
