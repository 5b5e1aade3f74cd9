// The undoable steps of the page list. Each step makes its change once, on the first
// redo(); undo() and every later redo() put back the page list as it was before and after
// that change (order, settings, thumbnails and selection), so that replaying a step never
// asks the user again or reads a file the preview cache still holds. While a step lives it
// keeps the previews of the pages it can bring back. A step that changed nothing is made
// obsolete, and the stack drops it.
#ifndef PAGEWEAVER_UI_PAGE_COMMANDS_H
#define PAGEWEAVER_UI_PAGE_COMMANDS_H

#include <QUndoCommand>
#include <functional>
#include <string>
#include <vector>

#include "page_list_editor.h"

class CPageListCommand : public QUndoCommand {
 public:
  ~CPageListCommand() override;
  void redo() final;
  void undo() final;

  const PageListState& Before() const { return before_; }
  const PageListState& After() const { return after_; }

 protected:
  explicit CPageListCommand(CPageListEditor* editor);
  // The change itself, made once.
  virtual void Apply() = 0;
  // The step's name once it is made ("Remove 3 Pages"): what Undo and Redo say.
  virtual QString Name() const = 0;
  CPageListEditor* Editor() const { return editor_; }

 private:
  CPageListEditor* editor_;
  PageListState before_;
  PageListState after_;
  bool made_ = false;
};

// "Add Page", "Add 12 Pages": the pages of the files, in the sort order of the
// preferences, as dropping or choosing them adds them.
class CAddPagesCommand final : public CPageListCommand {
 public:
  CAddPagesCommand(CPageListEditor* editor, std::vector<std::string> paths);

 private:
  void Apply() override;
  QString Name() const override;
  std::vector<std::string> paths_;
};

// "Remove Page", "Remove 3 Pages".
class CRemovePagesCommand final : public CPageListCommand {
 public:
  CRemovePagesCommand(CPageListEditor* editor, std::vector<int32_t> ids);

 private:
  void Apply() override;
  QString Name() const override;
  std::vector<int32_t> ids_;
};

// "Remove All Pages".
class CRemoveAllPagesCommand final : public CPageListCommand {
 public:
  explicit CRemoveAllPagesCommand(CPageListEditor* editor);

 private:
  void Apply() override;
  QString Name() const override;
};

// A new order of the pages: moves ("Move Page", "Move 3 Pages"), "Reverse Order" and
// "Sort Pages". The selection follows the pages; `select`, when given, becomes the
// selection instead (the pages dragged to their new place).
class CReorderPagesCommand final : public CPageListCommand {
 public:
  CReorderPagesCommand(CPageListEditor* editor, std::vector<int32_t> order, QString name,
                       std::vector<int32_t> select = {});

 private:
  void Apply() override;
  QString Name() const override { return name_; }
  std::vector<int32_t> order_;
  QString name_;
  std::vector<int32_t> select_;
};

// "Output Settings": the settings of one page, of several or of all.
class CPageSettingsCommand final : public CPageListCommand {
 public:
  CPageSettingsCommand(CPageListEditor* editor, std::function<void(CPageWeaverDoc*)> change);

 private:
  void Apply() override;
  QString Name() const override;
  std::function<void(CPageWeaverDoc*)> change_;
};

// "Add Page" for one, "Add 3 Pages" for several.
QString CountedName(const QString& verb, size_t count);

#endif  // PAGEWEAVER_UI_PAGE_COMMANDS_H
