// The status bar's lock indicators: where they sit, and when they follow the keyboard.
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTest>

#include "ui/lock_indicators.h"
#include "ui/main_frame.h"
#include "ui_support.h"

namespace {

TEST(LockIndicatorsTest, ThreePanesAfterTheMessagePane) {
  uitest::DocumentFixture fx;
  CMainFrame frame(&fx.doc, &fx.preferences, &fx.cache);
  frame.show();
  QStatusBar* bar = frame.statusBar();
  std::vector<QLabel*> panes;
  for (const char* name : {"capsLock", "numLock", "scrollLock"}) {
    auto* pane = bar->findChild<QLabel*>(QString::fromUtf8(name));
    ASSERT_NE(pane, nullptr) << name;
    panes.push_back(pane);
  }
  QCoreApplication::processEvents();
  // The message on the left, then Caps, Num and Scroll Lock at the right end.
  EXPECT_LT(panes[0]->x(), panes[1]->x());
  EXPECT_LT(panes[1]->x(), panes[2]->x());
  EXPECT_GT(panes[0]->x(), bar->width() / 2);
  EXPECT_EQ(panes[0]->toolTip(), "Caps Lock");
  // Qt's offscreen platform has no keyboard state to tell: every lock shows off.
  EXPECT_EQ(ReadLockState(), LockState());
  for (QLabel* pane : panes) EXPECT_TRUE(pane->text().isEmpty());
  EXPECT_EQ(frame.LockIndicators()->Caps(), panes[0]);
}

TEST(LockIndicatorsTest, KeyEventsAndActivationShowTheState) {
  QMainWindow window;
  LockState state;
  int asked = 0;
  CLockIndicators locks(window.statusBar(), &window, [&] {
    ++asked;
    return state;
  });
  window.show();
  EXPECT_EQ(locks.Caps()->text(), "");
  state.caps = true;
  QTest::keyClick(window.windowHandle(), Qt::Key_CapsLock);
  EXPECT_EQ(locks.Caps()->text(), "CAP");
  EXPECT_EQ(locks.Num()->text(), "");

  // A lock changed while another program had the keyboard shows when the window comes
  // back.
  state = {false, true, true};
  int before = asked;
  QCoreApplication::processEvents();
  EXPECT_EQ(asked, before);  // nothing asks without a reason
  QEvent activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(&window, &activate);
  EXPECT_EQ(locks.Caps()->text(), "");
  EXPECT_EQ(locks.Num()->text(), "NUM");
  EXPECT_EQ(locks.Scroll()->text(), "SCRL");
  // A blank pane keeps the width of its text.
  EXPECT_GE(locks.Caps()->minimumWidth(), locks.Caps()->fontMetrics().horizontalAdvance("CAP"));
}

}  // namespace
