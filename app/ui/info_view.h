// CPageWeaverInfoView: what is known about the selected page's input image, and the
// output settings chosen for it.
#ifndef PAGEWEAVER_UI_INFO_VIEW_H
#define PAGEWEAVER_UI_INFO_VIEW_H

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "document/interfaces.h"

class QLabel;

// A one-line label for a path: ends in an ellipsis when it does not fit, and shows the
// whole path as its tool tip.
class CPathLabel : public QWidget {
  Q_OBJECT
 public:
  explicit CPathLabel(QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return text_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

class CPageWeaverInfoView : public QWidget, public DocumentView {
  Q_OBJECT
 public:
  explicit CPageWeaverInfoView(QWidget* parent = nullptr);

  void OnUpdate(PageListHint hint, const PageHint* pageHint) override;
  // Where the view learns how the output will write a page ("copied", "converted", or
  // both for different formats); by default the page's own decision for a TIFF.
  void SetPageHandling(std::function<std::string(const PageRecord&)> handlingOf) {
    handlingOf_ = std::move(handlingOf);
  }

  // The texts of the resolution unit and compression codes.
  static QString UnitText(int unit);
  static QString CompressionName(int compression);

 private:
  void Fill(const PageRecord& record);
  void Reset();

  CPathLabel* file_;
  QLabel* inputSize_;
  QLabel* inputDpi_;
  QLabel* inputBits_;
  QLabel* compression_;
  QLabel* outputSize_;
  QLabel* outputDpi_;
  QLabel* outputBits_;
  QLabel* handling_;  // "Page data: copied" or "... converted", under the output settings
  std::function<std::string(const PageRecord&)> handlingOf_;
  QLabel* outputDither_;
};

#endif  // PAGEWEAVER_UI_INFO_VIEW_H
