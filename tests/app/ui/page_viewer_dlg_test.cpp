// The full-size view of a page: read from its source, turned and flipped as the output
// will be, fitted or at 100%, zoomed, following the selected page.
#include <QGraphicsView>
#include <QLabel>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>

#include "image_files.h"
#include "ui/page_list_view.h"
#include "ui/page_viewer_dlg.h"
#include "ui_support.h"

namespace {

const QColor kRed(255, 0, 0), kBlue(0, 0, 255);

class PageViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fx_.doc.AddView(&list_);
    fx_.doc.SetPageOrder(list_.PageModel());
  }
  void TearDown() override { fx_.doc.RemoveView(&list_); }

  // A page red on its left half and blue on its right.
  int32_t AddHalves(const std::string& name, uint32_t width, uint32_t height) {
    std::string path = fx_.dir.File(name);
    pxtest::WriteBMP24(path, width, height,
                       [width](uint32_t x, uint32_t) { return x < width / 2 ? 0xFF0000u : 0xFFu; });
    EXPECT_EQ(fx_.doc.AddPage(path, 0, false), 0);
    return list_.PageModel()->PageIdAt(list_.PageModel()->rowCount() - 1);
  }
  void Turn(int32_t id, int rotation, int flip) {
    PageOutputSettings settings = fx_.doc.FindPage(id)->output;
    settings.rotation = rotation;
    settings.flip = flip;
    ASSERT_TRUE(fx_.doc.ApplyPageOptions(id, settings, false, false));
  }
  QColor At(int x, int y) { return viewer_.Picture().pixelColor(x, y); }

  uitest::DocumentFixture fx_;
  CPageWeaverListView list_{&fx_.doc};
  CPageViewerDlg viewer_{&fx_.doc};
};

TEST_F(PageViewerTest, ThePageIsReadAtFullSizeTurnedAndFlippedAsTheOutputWillBe) {
  int32_t id = AddHalves("halves.bmp", 1200, 800);
  viewer_.ShowPage(id);
  ASSERT_EQ(viewer_.Picture().size(), QSize(1200, 800));
  EXPECT_EQ(At(10, 400), kRed);
  EXPECT_EQ(viewer_.windowTitle().toStdString(), "View Page - " + fx_.dir.File("halves.bmp"));

  // A quarter turn clockwise puts the left half at the top.
  Turn(id, 90, 0);
  viewer_.ShowPage(id);
  ASSERT_EQ(viewer_.Picture().size(), QSize(800, 1200));
  EXPECT_EQ(At(400, 10), kRed);
  EXPECT_EQ(At(400, 1190), kBlue);
  // Shown while open: a new turn and flip of the page is shown at once.
  Turn(id, 0, 1);
  ASSERT_EQ(viewer_.Picture().size(), QSize(1200, 800));
  EXPECT_EQ(At(10, 400), kBlue);
  EXPECT_EQ(At(1190, 400), kRed);
}

TEST_F(PageViewerTest, FitsTheWindowAndZooms) {
  int32_t id = AddHalves("big.bmp", 2000, 1000);
  viewer_.resize(600, 500);
  viewer_.ShowPage(id);
  QApplication::processEvents();
  EXPECT_TRUE(viewer_.FitsWindow());
  EXPECT_LT(viewer_.Zoom(), 0.35);
  EXPECT_GT(viewer_.Zoom(), 0.2);
  auto* canvas = viewer_.findChild<QGraphicsView*>("pageCanvas");
  ASSERT_NE(canvas, nullptr);
  // The whole page shows.
  QRectF shown = canvas->mapToScene(canvas->viewport()->rect()).boundingRect();
  EXPECT_TRUE(shown.contains(QRectF(0, 0, 2000, 1000)));

  viewer_.ZoomToActualSize();
  EXPECT_EQ(viewer_.Zoom(), 1.0);
  EXPECT_FALSE(viewer_.FitsWindow());
  EXPECT_TRUE(viewer_.findChild<QLabel*>("viewerStatus")->text().contains("2000 x 1000 pixels"));
  viewer_.ZoomIn();
  EXPECT_DOUBLE_EQ(viewer_.Zoom(), 1.25);
  viewer_.ZoomOut();
  viewer_.ZoomOut();
  EXPECT_DOUBLE_EQ(viewer_.Zoom(), 0.8);

  // Ctrl+wheel zooms; the wheel alone scrolls.
  QPointF middle = QPointF(canvas->viewport()->rect().center());
  auto wheel = [&](Qt::KeyboardModifiers modifiers, int delta) {
    QWheelEvent event(middle, canvas->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, delta),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas->viewport(), &event);
  };
  wheel(Qt::ControlModifier, 120);
  EXPECT_DOUBLE_EQ(viewer_.Zoom(), 1.0);
  wheel(Qt::NoModifier, 120);
  EXPECT_DOUBLE_EQ(viewer_.Zoom(), 1.0);
  wheel(Qt::ControlModifier, -120);
  EXPECT_DOUBLE_EQ(viewer_.Zoom(), 0.8);
  // Ctrl+plus and Ctrl+minus are the zoom keys.
  EXPECT_TRUE(viewer_.zoomInAction->shortcuts().contains(QKeySequence(QKeySequence::ZoomIn)));
  EXPECT_TRUE(viewer_.zoomOutAction->shortcuts().contains(QKeySequence(QKeySequence::ZoomOut)));
  viewer_.ZoomToFit();
  EXPECT_TRUE(viewer_.FitsWindow());
  EXPECT_LT(viewer_.Zoom(), 0.35);

  // A small page is not enlarged to fit.
  int32_t small = AddHalves("small.bmp", 40, 30);
  viewer_.ShowPage(small);
  EXPECT_EQ(viewer_.Zoom(), 1.0);
}

TEST_F(PageViewerTest, FollowsTheSelectedPageWhileOpen) {
  int32_t a = AddHalves("a.bmp", 60, 40);
  int32_t b = AddHalves("b.bmp", 30, 50);
  viewer_.ShowPage(a);
  viewer_.ZoomOut();
  list_.SelectPages({b}, b);
  QApplication::processEvents();
  EXPECT_EQ(viewer_.PageId(), b);
  EXPECT_EQ(viewer_.Picture().size(), QSize(30, 50));
  // Each page starts fitted.
  EXPECT_TRUE(viewer_.FitsWindow());
  EXPECT_EQ(viewer_.Zoom(), 1.0);
  // Closed, it does not read pages.
  viewer_.hide();
  list_.SelectPages({a}, a);
  QApplication::processEvents();
  EXPECT_EQ(viewer_.PageId(), b);

  // The page goes: nothing is shown.
  viewer_.show();
  fx_.doc.RemovePages({b});
  EXPECT_TRUE(viewer_.Picture().isNull());
  EXPECT_EQ(viewer_.windowTitle(), "View Page");
  viewer_.ShowPage(a);
  fx_.doc.RemoveAllPages();
  EXPECT_TRUE(viewer_.Picture().isNull());
}

TEST_F(PageViewerTest, APageThatCannotBeReadSaysSo) {
  int32_t id = AddHalves("gone.bmp", 20, 20);
  std::filesystem::remove(fx_.dir.File("gone.bmp"));
  viewer_.ShowPage(id);
  EXPECT_TRUE(viewer_.Picture().isNull());
  EXPECT_TRUE(viewer_.findChild<QLabel*>("viewerStatus")
                  ->text()
                  .startsWith("The page could not be read: "));
}

}  // namespace
