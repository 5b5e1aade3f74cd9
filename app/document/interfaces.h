// The small interfaces between the document and whatever shows it: the views, the
// questions to the user, the thumbnail list's order, the busy display and the message
// pump. The Qt user interface implements them; so do the command-line tool and the tests.
#ifndef PAGEWEAVER_DOCUMENT_INTERFACES_H
#define PAGEWEAVER_DOCUMENT_INTERFACES_H

#include <cstdint>
#include <string>
#include <vector>

#include "page_copy.h"
#include "page_record.h"
#include "settings_change.h"

class CPageImage;

// Told of every change of the page list.
class DocumentView {
 public:
  virtual ~DocumentView() = default;
  virtual void OnUpdate(PageListHint hint, const PageHint* pageHint) = 0;
};

// Questions to the user, and the dialogs the document opens.
class UserInterface {
 public:
  enum class Buttons { kOk, kYesNo, kOkCancel };
  enum class Answer { kOk, kYes, kNo, kCancel };

  virtual ~UserInterface() = default;
  virtual Answer Ask(const std::string& text, Buttons buttons) = 0;
  virtual void Beep() {}
  // A page could not be added: asks "Error adding page: ... Continue?"; true to go on
  // with the next page.
  virtual bool ContinueAfterAddError(int error, const std::string& path);
  // The pages of a multi-page file to add, in ascending order; false when cancelled.
  virtual bool ChooseFrames(const std::string& path, int pageCount, std::vector<int>* frames) = 0;
  // Edits a page's output settings; false when cancelled.
  virtual bool EditPageOptions(const PageRecord& page, PageOutputSettings* settings,
                               bool* setAllPages, bool* changeSize) {
    (void)page, (void)settings, (void)setAllPages, (void)changeSize;
    return false;
  }
  // Edits the output settings of several pages at once: `change` gets the fields the
  // user changed; false when cancelled.
  virtual bool EditSeveralPagesOptions(const std::vector<PageRecord>& pages,
                                       SettingsChange* change) {
    (void)pages, (void)change;
    return false;
  }
  // The path to save to ("Save TIFF as..."); empty when cancelled.
  virtual std::string AskSavePath() { return std::string(); }
};

// The thumbnail list: it owns the order of the pages.
class PageOrderSource {
 public:
  virtual ~PageOrderSource() = default;
  virtual std::vector<int32_t> PageIdsInDisplayOrder() = 0;
};

// Progress of an output run: the current page's source, the percentage and the page as
// loaded (or null). Returns false to stop the run.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual bool Progress(const std::string& text, int percent, const CPageImage* image) = 0;
  // The same, saying whether the page is copied as stored or converted.
  virtual bool PageProgress(const std::string& text, int percent, const CPageImage* image,
                            PageHandling handling) {
    (void)handling;
    return Progress(text, percent, image);
  }
};

// Reached from the busy display's Cancel button.
class CancelSink {
 public:
  virtual ~CancelSink() = default;
  virtual void Cancel() {}
};

// The busy dialog of an output run.
class BusyDisplay {
 public:
  virtual ~BusyDisplay() = default;
  virtual void Start(CancelSink* cancel) = 0;  // made for a run, hidden until progress
  virtual void ShowProgress(const std::string& text, int percent, const CPageImage* image) = 0;
  // The same, saying whether the page is copied as stored or converted.
  virtual void ShowPageProgress(const std::string& text, int percent, const CPageImage* image,
                                PageHandling handling) {
    (void)handling;
    ShowProgress(text, percent, image);
  }
  virtual void Finish() = 0;  // hidden at the end of the run
};

// Lets the user interface breathe while the library works on the same thread.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual bool HasPendingMessage() = 0;
  virtual void DispatchOneMessage() = 0;
};

#endif  // PAGEWEAVER_DOCUMENT_INTERFACES_H
