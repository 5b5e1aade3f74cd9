#include "page_list_editor.h"

#include <QUndoStack>

#include "document/page_order.h"
#include "page_commands.h"
#include "page_list_view.h"

namespace {

// Enough for a long session; each step holds two copies of the list's records.
constexpr int kUndoLimit = 200;

}  // namespace

std::vector<int32_t> PageListState::Order() const {
  std::vector<int32_t> ids;
  for (const CPageListModel::Page& row : rows) ids.push_back(row.id);
  return ids;
}

bool PageListState::SamePages(const PageListState& other) const {
  return Order() == other.Order() && records == other.records;
}

CPageListEditor::CPageListEditor(CPageWeaverDoc* doc, CPageWeaverListView* view)
    : doc_(doc), view_(view), stack_(new QUndoStack(this)) {
  stack_->setUndoLimit(kUndoLimit);
}

CPageListEditor::~CPageListEditor() {
  // The windows that show the stack may be going already.
  stack_->blockSignals(true);
  stack_->clear();
}

bool CPageListEditor::CanEdit() const {
  return doc_ && !doc_->Busy() && !making_;
}

void CPageListEditor::Push(CPageListCommand* command) {
  making_ = true;
  stack_->push(command);
  making_ = false;
}

void CPageListEditor::AddPages(const std::vector<std::string>& paths) {
  if (!CanEdit() || paths.empty()) return;
  Push(new CAddPagesCommand(this, paths));
}

void CPageListEditor::RemovePages(const std::vector<int32_t>& ids) {
  if (!CanEdit() || ids.empty()) return;
  Push(new CRemovePagesCommand(this, ids));
}

void CPageListEditor::RemoveAllPages() {
  if (!CanEdit() || doc_->PageCount() == 0) return;
  Push(new CRemoveAllPagesCommand(this));
}

void CPageListEditor::Reorder(std::vector<int32_t> order, const QString& name,
                              std::vector<int32_t> select) {
  if (!CanEdit()) return;
  Push(new CReorderPagesCommand(this, std::move(order), name, std::move(select)));
}

void CPageListEditor::MovePages(const std::vector<int32_t>& ids, int destination) {
  CPageListModel* model = view_->PageModel();
  if (ids.empty() || destination < 0 || destination > model->rowCount()) return;
  Reorder(MovedBefore(model->PageIdsInDisplayOrder(), ids, size_t(destination)),
          CountedName(QStringLiteral("Move"), ids.size()), ids);
}

void CPageListEditor::MoveSelectedPages(Move move) {
  std::vector<int32_t> selected = view_->SelectedPageIds();
  if (selected.empty()) return;
  std::vector<int32_t> order = view_->PageModel()->PageIdsInDisplayOrder();
  switch (move) {
    case Move::kUp:
      order = MovedUp(order, selected);
      break;
    case Move::kDown:
      order = MovedDown(order, selected);
      break;
    case Move::kToStart:
      order = MovedBefore(order, selected, 0);
      break;
    case Move::kToEnd:
      order = MovedBefore(order, selected, order.size());
      break;
  }
  Reorder(std::move(order), CountedName(QStringLiteral("Move"), selected.size()));
}

void CPageListEditor::ReverseOrder() {
  Reorder(ReversedSelection(view_->PageModel()->PageIdsInDisplayOrder(), view_->SelectedPageIds()),
          QStringLiteral("Reverse Order"));
}

void CPageListEditor::SortPages(int style) {
  Reorder(SortedByStyle(Capture().records, style), QStringLiteral("Sort Pages"));
}

void CPageListEditor::EditPageOptions(const std::vector<int32_t>& ids) {
  for (int32_t id : ids) {
    if (!CanEdit()) return;
    CPageWeaverDoc::PageOptionsEdit edit;
    if (!doc_->AskPageOptions(id, &edit)) continue;
    Push(new CPageSettingsCommand(this, [id, edit](CPageWeaverDoc* doc) {
      doc->ApplyPageOptions(id, edit.settings, edit.setAllPages, edit.changeSize);
    }));
  }
}

void CPageListEditor::EditPagesTogether(const std::vector<int32_t>& ids) {
  if (!CanEdit() || ids.empty()) return;
  SettingsChange change;
  if (!doc_->AskSeveralPagesOptions(ids, &change) || change.Empty() || !CanEdit()) return;
  Push(new CPageSettingsCommand(
      this, [ids, change](CPageWeaverDoc* doc) { doc->ApplySettingsChange(ids, change); }));
}

void CPageListEditor::Undo() {
  if (!CanEdit() || !stack_->canUndo()) return;
  making_ = true;
  stack_->undo();
  making_ = false;
}

void CPageListEditor::Redo() {
  if (!CanEdit() || !stack_->canRedo()) return;
  making_ = true;
  stack_->redo();
  making_ = false;
}

void CPageListEditor::Clear() {
  stack_->clear();
}

PageListState CPageListEditor::Capture() const {
  PageListState state;
  CPageListModel* model = view_->PageModel();
  state.rows = model->Pages();
  for (const CPageListModel::Page& row : state.rows)
    if (const PageRecord* record = doc_->FindPage(row.id)) state.records.push_back(*record);
  state.selected = view_->SelectedPageIds();
  state.current = view_->CurrentPageId();
  return state;
}

void CPageListEditor::Restore(const PageListState& state) {
  doc_->RestorePages(state.records);
  view_->PageModel()->SetPages(state.rows);
  view_->SelectPages(state.selected, state.current);
  view_->ScrollToCurrent();
}

void CPageListEditor::ShowCurrentPage() {
  int32_t current = view_->CurrentPageId();
  if (current >= 0 && view_->selectionModel()->isSelected(view_->currentIndex()))
    doc_->ShowPage(current);
}
