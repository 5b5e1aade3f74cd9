// The busy dialog: title, progress, picture, cancel, and its gradient bar.
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "document/page_image.h"
#include "ui/busy_dlg.h"
#include "ui/gradient_progress.h"
#include "ui/icons.h"
#include "ui_support.h"

namespace {

struct CountingCancel : CancelSink {
  int calls = 0;
  void Cancel() override { ++calls; }
};

class BusyDlgTest : public ::testing::Test {
 protected:
  CPageImage Picture(uint32_t width, uint32_t height) {
    CPageImage image;
    EXPECT_EQ(image.Load(fx_.Bmp("page.bmp", width, height)), 0);
    return image;
  }

  uitest::DocumentFixture fx_;
  CBusyDlg dlg_;
  CountingCancel sink_;
};

TEST_F(BusyDlgTest, TitleNamesTheProduct) {
  EXPECT_EQ(dlg_.windowTitle(), "PageWeaver is busy...");
  EXPECT_EQ(dlg_.StatusText(), "");
  EXPECT_FALSE(dlg_.ImageAreaShown());
}

TEST_F(BusyDlgTest, ProgressShowsTextPercentAndPicture) {
  dlg_.Start(&sink_);
  EXPECT_FALSE(dlg_.isVisible());
  EXPECT_TRUE(dlg_.ImageAreaShown());
  CPageImage page = Picture(60, 200);
  dlg_.ShowProgress("/scans/page 2.bmp", 50, &page);
  EXPECT_TRUE(dlg_.isVisible());
  EXPECT_EQ(dlg_.StatusText(), "/scans/page 2.bmp");
  EXPECT_EQ(dlg_.Percent(), 50);
  EXPECT_EQ(dlg_.ProgressBar()->PercentText(), " 50 %");
  // Taller than wide: fitted to the height of the picture area.
  const QImage& shown = dlg_.Picture();
  ASSERT_FALSE(shown.isNull());
  EXPECT_LT(shown.width(), shown.height());
  EXPECT_GT(shown.height(), 90);
  EXPECT_LE(shown.height(), 110);

  // A report without a picture keeps the last one.
  dlg_.ShowProgress("/scans/page 3.bmp", 75, nullptr);
  EXPECT_EQ(dlg_.Picture().size(), shown.size());
  EXPECT_EQ(dlg_.Percent(), 75);

  dlg_.Finish();
  EXPECT_FALSE(dlg_.isVisible());
  EXPECT_FALSE(dlg_.ImageAreaShown());
}

TEST_F(BusyDlgTest, CancelReachesTheRunAndKeepsTheDialogAway) {
  dlg_.Start(&sink_);
  dlg_.ShowProgress("a.bmp", 25, nullptr);
  ASSERT_TRUE(dlg_.isVisible());
  dlg_.CancelButton()->click();
  EXPECT_EQ(sink_.calls, 1);
  EXPECT_FALSE(dlg_.isVisible());
  dlg_.ShowProgress("b.bmp", 50, nullptr);
  dlg_.ShowDuringRun();
  EXPECT_FALSE(dlg_.isVisible());
  dlg_.Finish();

  // The next run starts afresh; Escape cancels as the button does.
  dlg_.Start(&sink_);
  dlg_.ShowProgress("c.bmp", 100, nullptr);
  ASSERT_TRUE(dlg_.isVisible());
  QTest::keyClick(&dlg_, Qt::Key_Escape);
  EXPECT_EQ(sink_.calls, 2);
  EXPECT_FALSE(dlg_.isVisible());
  dlg_.Finish();
}

TEST_F(BusyDlgTest, ShownByTheTimerOnlyDuringARun) {
  dlg_.ShowDuringRun();
  EXPECT_FALSE(dlg_.isVisible());
  dlg_.Start(&sink_);
  dlg_.ShowDuringRun();
  EXPECT_TRUE(dlg_.isVisible());
  dlg_.Finish();
  EXPECT_FALSE(dlg_.isVisible());
}

TEST_F(BusyDlgTest, AnimationCyclesThroughItsSlots) {
  EXPECT_FALSE(pwui::AnimationFrame(0).isNull());
  EXPECT_FALSE(pwui::AnimationFrame(1).isNull());
  EXPECT_TRUE(pwui::AnimationFrame(2).isNull());
  dlg_.Start(&sink_);
  dlg_.ShowDuringRun();
  auto* icon = dlg_.findChild<QLabel*>("animation");
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  EXPECT_EQ(dlg_.AnimationSlot(), 1);
  dlg_.Finish();
  EXPECT_EQ(dlg_.AnimationSlot(), 0);
}

TEST(GradientProgressTest, BarRunsFromDarkToLightBlueWithItsPercentage) {
  CBusyDlg dlg;
  CGradientProgress* bar = dlg.ProgressBar();
  EXPECT_EQ(bar->StartColor(), QColor(0, 0, 64));
  EXPECT_EQ(bar->EndColor(), QColor(128, 128, 255));
  EXPECT_EQ(bar->Lower(), 0);
  EXPECT_EQ(bar->Upper(), 100);

  bar->resize(200, 18);
  bar->SetPos(50);
  QImage drawn = bar->grab().toImage();
  // The start of the bar has the start colour, its unfilled end the background.
  EXPECT_EQ(QColor(drawn.pixel(0, 2)), QColor(0, 0, 64));
  EXPECT_EQ(QColor(drawn.pixel(199, 2)), bar->palette().color(QPalette::Button));
  QColor middle(drawn.pixel(90, 2));
  EXPECT_GT(middle.blue(), 64);
  EXPECT_LT(middle.blue(), 255);

  CGradientProgress plain;
  plain.ShowPercent(true);
  plain.SetPos(7);
  EXPECT_EQ(plain.PercentText(), "  7 %");
  plain.SetRange(0, 200);
  EXPECT_EQ(plain.PercentText(), "  4 %");  // 3.5 rounds as printf rounds
}

}  // namespace
