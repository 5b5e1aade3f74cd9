#include "lock_indicators.h"

#include <dlfcn.h>

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#endif

namespace {

#if QT_CONFIG(xcb)
// The few libX11 calls needed, looked up at run time: the program neither links X11 nor
// needs its headers, and runs where there is none.
struct XkbCalls {
  using InternAtom = unsigned long (*)(Display*, const char*, int);
  using GetNamedIndicator = int (*)(Display*, unsigned long, int*, int*, void*, int*);
  InternAtom internAtom = nullptr;
  GetNamedIndicator getNamedIndicator = nullptr;

  XkbCalls() {
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!x11) return;
    internAtom = reinterpret_cast<InternAtom>(dlsym(x11, "XInternAtom"));
    getNamedIndicator = reinterpret_cast<GetNamedIndicator>(dlsym(x11, "XkbGetNamedIndicator"));
  }
  bool ok() const { return internAtom && getNamedIndicator; }

  // The state of the keyboard's indicator of that name ("Caps Lock"); off when the
  // keyboard has none.
  bool Indicator(Display* display, const char* name) const {
    unsigned long atom = internAtom(display, name, /*only_if_exists=*/1);
    int index = 0, on = 0;
    return atom && getNamedIndicator(display, atom, &index, &on, nullptr, nullptr) && on;
  }
};
#endif

QLabel* MakePane(QStatusBar* bar, const char* name, const QString& longest) {
  auto* pane = new QLabel(bar);
  pane->setObjectName(QString::fromUtf8(name));
  pane->setAlignment(Qt::AlignCenter);
  pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // A blank pane keeps its width, so the bar does not move when a lock changes.
  pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(longest) + 8);
  bar->addPermanentWidget(pane);
  return pane;
}

}  // namespace

LockState ReadLockState() {
  LockState state;
#if QT_CONFIG(xcb)
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return state;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  Display* display = x11 ? x11->display() : nullptr;
  static const XkbCalls calls;
  if (!display || !calls.ok()) return state;
  state.caps = calls.Indicator(display, "Caps Lock");
  state.num = calls.Indicator(display, "Num Lock");
  state.scroll = calls.Indicator(display, "Scroll Lock");
#endif
  return state;
}

CLockIndicators::CLockIndicators(QStatusBar* bar, QWidget* window, Reader reader)
    : QObject(bar), window_(window), reader_(std::move(reader)) {
  caps_ = MakePane(bar, "capsLock", QStringLiteral("CAP"));
  num_ = MakePane(bar, "numLock", QStringLiteral("NUM"));
  scroll_ = MakePane(bar, "scrollLock", QStringLiteral("SCRL"));
  caps_->setToolTip(QStringLiteral("Caps Lock"));
  num_->setToolTip(QStringLiteral("Num Lock"));
  scroll_->setToolTip(QStringLiteral("Scroll Lock"));
  qApp->installEventFilter(this);
  Refresh();
}

void CLockIndicators::Refresh() {
  LockState state = reader_ ? reader_() : LockState();
  caps_->setText(state.caps ? QStringLiteral("CAP") : QString());
  num_->setText(state.num ? QStringLiteral("NUM") : QString());
  scroll_->setText(state.scroll ? QStringLiteral("SCRL") : QString());
}

bool CLockIndicators::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      // A key event reaches its window first, then the widgets on its way: ask once.
      if (watched->isWindowType()) Refresh();
      break;
    case QEvent::WindowActivate:
      if (watched == window_) Refresh();
      break;
    default:
      break;
  }
  return false;
}
