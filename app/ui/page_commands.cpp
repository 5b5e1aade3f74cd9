#include "page_commands.h"

#include <algorithm>

#include "page_list_view.h"

QString CountedName(const QString& verb, size_t count) {
  if (count == 1) return verb + QStringLiteral(" Page");
  return QStringLiteral("%1 %2 Pages").arg(verb).arg(count);
}

CPageListCommand::CPageListCommand(CPageListEditor* editor)
    : editor_(editor), before_(editor->Capture()) {
  editor_->Document()->KeepPreviews(before_.records);
}

CPageListCommand::~CPageListCommand() {
  editor_->Document()->ReleasePreviews(before_.records);
  if (made_) editor_->Document()->ReleasePreviews(after_.records);
}

void CPageListCommand::redo() {
  if (made_) {
    editor_->Restore(after_);
    return;
  }
  made_ = true;
  Apply();
  after_ = editor_->Capture();
  editor_->Document()->KeepPreviews(after_.records);
  setText(Name());
  if (after_.SamePages(before_)) setObsolete(true);
}

void CPageListCommand::undo() {
  editor_->Restore(before_);
}

CAddPagesCommand::CAddPagesCommand(CPageListEditor* editor, std::vector<std::string> paths)
    : CPageListCommand(editor), paths_(std::move(paths)) {}

void CAddPagesCommand::Apply() {
  Editor()->Document()->AddPages(paths_);
}

QString CAddPagesCommand::Name() const {
  size_t before = Before().rows.size(), after = After().rows.size();
  return CountedName(QStringLiteral("Add"), after > before ? after - before : 0);
}

CRemovePagesCommand::CRemovePagesCommand(CPageListEditor* editor, std::vector<int32_t> ids)
    : CPageListCommand(editor), ids_(std::move(ids)) {}

void CRemovePagesCommand::Apply() {
  Editor()->Document()->RemovePages(ids_);
}

QString CRemovePagesCommand::Name() const {
  size_t before = Before().rows.size(), after = After().rows.size();
  return CountedName(QStringLiteral("Remove"), before > after ? before - after : 0);
}

CRemoveAllPagesCommand::CRemoveAllPagesCommand(CPageListEditor* editor)
    : CPageListCommand(editor) {}

void CRemoveAllPagesCommand::Apply() {
  Editor()->Document()->RemoveAllPages();
}

QString CRemoveAllPagesCommand::Name() const {
  return QStringLiteral("Remove All Pages");
}

CReorderPagesCommand::CReorderPagesCommand(CPageListEditor* editor, std::vector<int32_t> order,
                                           QString name, std::vector<int32_t> select)
    : CPageListCommand(editor),
      order_(std::move(order)),
      name_(std::move(name)),
      select_(std::move(select)) {}

void CReorderPagesCommand::Apply() {
  CPageWeaverListView* view = Editor()->View();
  if (order_ == Before().Order() || !view->PageModel()->Reorder(order_)) return;
  if (!select_.empty()) {
    // The page the user took hold of stays the current one.
    bool held = std::find(select_.begin(), select_.end(), Before().current) != select_.end();
    view->SelectPages(select_, held ? Before().current : select_.front());
  }
  view->ScrollToCurrent();
}

CPageSettingsCommand::CPageSettingsCommand(CPageListEditor* editor,
                                           std::function<void(CPageWeaverDoc*)> change)
    : CPageListCommand(editor), change_(std::move(change)) {}

void CPageSettingsCommand::Apply() {
  change_(Editor()->Document());
  // Rebuilt pages were shown as they were rebuilt; the views go back to the current one.
  Editor()->ShowCurrentPage();
}

QString CPageSettingsCommand::Name() const {
  return QStringLiteral("Output Settings");
}
