// Stand-ins for the views and the user in document tests.
#ifndef PAGEWEAVER_TESTS_APP_DOCUMENT_SUPPORT_H
#define PAGEWEAVER_TESTS_APP_DOCUMENT_SUPPORT_H

#include <string>
#include <vector>

#include "document/document.h"
#include "document/preferences.h"

namespace pxtest {

// Records every notification, with the bitmap's size when one came.
struct RecordingView : DocumentView {
  struct Event {
    PageListHint hint;
    PageHint page;
    int bitmapWidth = 0;
  };
  std::vector<Event> events;
  void OnUpdate(PageListHint hint, const PageHint* pageHint) override {
    Event e{hint, pageHint ? *pageHint : PageHint(), 0};
    if (pageHint && pageHint->bitmap) e.bitmapWidth = PXBitmapWidth(pageHint->bitmap);
    events.push_back(e);
  }
  std::vector<PageListHint> Hints() const {
    std::vector<PageListHint> h;
    for (const Event& e : events) h.push_back(e.hint);
    return h;
  }
};

// Answers every question the same way and remembers what was asked.
struct ScriptedUI : UserInterface {
  Answer answer = Answer::kYes;
  std::vector<std::string> asked;
  std::vector<int> frames;  // the chooser's pick; empty = cancel
  int beeps = 0;
  Answer Ask(const std::string& text, Buttons) override {
    asked.push_back(text);
    return answer;
  }
  void Beep() override { ++beeps; }
  bool ChooseFrames(const std::string&, int, std::vector<int>* chosen) override {
    *chosen = frames;
    return !frames.empty();
  }
};

// The thumbnail list's order: the pages in the order they were added.
struct AddedOrder : PageOrderSource, DocumentView {
  std::vector<int32_t> ids;
  void OnUpdate(PageListHint hint, const PageHint* page) override {
    if (hint == HINT_PAGE_ADDED) ids.push_back(page->pageId);
    if (hint == HINT_PAGE_REMOVED) std::erase(ids, page->pageId);
    if (hint == HINT_RESET) ids.clear();
  }
  std::vector<int32_t> PageIdsInDisplayOrder() override { return ids; }
};

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_APP_DOCUMENT_SUPPORT_H
