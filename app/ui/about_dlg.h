// CAboutDlg: "About PageWeaver" — product, version, copyright, the imaging library's
// version and the maker's addresses. CLinkStatic is a label that opens its link.
#ifndef PAGEWEAVER_UI_ABOUT_DLG_H
#define PAGEWEAVER_UI_ABOUT_DLG_H

#include <QDialog>
#include <QLabel>
#include <QString>

class CLinkStatic : public QLabel {
  Q_OBJECT
 public:
  CLinkStatic(const QString& text, const QString& target, QWidget* parent = nullptr);
  void SetTarget(const QString& target);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void SetColor(const QColor& color);

  QString target_;
  bool visited_ = false;
};

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  // "PageWeaver, Version 1.0.0.0".
  static QString ProductLine();
  // The file version as four numbers; a special build's name follows after a blank.
  static QString VersionText();
  static QString Copyright();
  // "Using Pixolith version: ..." with the library's version text.
  static QString LibraryLine();
};

#endif  // PAGEWEAVER_UI_ABOUT_DLG_H
