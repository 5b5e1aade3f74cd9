// The status bar's Caps Lock, Num Lock and Scroll Lock panes: each shows its key's short
// name while the lock is on and stays blank while it is off. Qt tells no application the
// lock state, so it is asked of the windowing system on every key event and whenever the
// window is activated.
#ifndef PAGEWEAVER_UI_LOCK_INDICATORS_H
#define PAGEWEAVER_UI_LOCK_INDICATORS_H

#include <QObject>
#include <functional>

class QLabel;
class QStatusBar;

struct LockState {
  bool caps = false;
  bool num = false;
  bool scroll = false;
  bool operator==(const LockState&) const = default;
};

// The lock state from X11's keyboard extension, through libX11 loaded on first use, when
// the application runs on the xcb platform; all off on other platforms (Wayland and the
// offscreen platform tell applications nothing of it) and when libX11 cannot be loaded.
LockState ReadLockState();

class CLockIndicators : public QObject {
  Q_OBJECT
 public:
  using Reader = std::function<LockState()>;

  // Adds the three panes to the right end of `bar`, after its message pane, and follows
  // the key events of the whole application and the activation of `window`.
  CLockIndicators(QStatusBar* bar, QWidget* window, Reader reader = ReadLockState);

  // Asks for the state and shows it.
  void Refresh();

  QLabel* Caps() const { return caps_; }
  QLabel* Num() const { return num_; }
  QLabel* Scroll() const { return scroll_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  Reader reader_;
  QLabel* caps_;
  QLabel* num_;
  QLabel* scroll_;
};

#endif  // PAGEWEAVER_UI_LOCK_INDICATORS_H
