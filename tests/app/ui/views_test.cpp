// The preview and the information form of the selected page.
#include <QLabel>
#include <QTest>

#include "ui/image_view.h"
#include "ui/info_view.h"
#include "ui_support.h"

namespace {

QString Field(CPageWeaverInfoView& view, const char* name) {
  if (auto* path = view.findChild<CPathLabel*>(name)) return path->text();
  auto* label = view.findChild<QLabel*>(name);
  EXPECT_NE(label, nullptr) << name;
  return label ? label->text() : QString();
}

PageHint ShownPage() {
  PageHint hint;
  PageRecord& r = hint.record;
  r.sourcePath = "/scans/a & b.tif";
  r.inputWidth = 2480;
  r.inputHeight = 3508;
  r.inputResolutionX = 300;
  r.inputResolutionY = 301;
  r.inputResolutionUnit = 2;
  r.inputBitsPerPixel = 24;
  r.output.width = 1240;
  r.output.height = 1754;
  r.output.resolutionX = 150;
  r.output.resolutionY = 150;
  r.output.resolutionUnit = 3;
  r.output.bitsPerPixel = 1;
  r.output.compression = kCompressionGroup4;
  hint.pageId = 7;
  return hint;
}

TEST(InfoViewTest, ShowsTheInputAndOutputOfThePage) {
  CPageWeaverInfoView view;
  const char* fields[] = {"inputFile",         "inputSize",  "inputDpi",  "inputBits",
                          "outputCompression", "outputSize", "outputDpi", "outputBits"};
  for (const char* f : fields) EXPECT_EQ(Field(view, f), "---") << f;

  PageHint page = ShownPage();
  view.OnUpdate(HINT_SHOW_PAGE, &page);
  EXPECT_EQ(Field(view, "inputFile"), "/scans/a & b.tif");
  EXPECT_EQ(Field(view, "inputSize"), "2480 x 3508 pixels");
  EXPECT_EQ(Field(view, "inputDpi"), "300 x 301 (dots per inch)");
  EXPECT_EQ(Field(view, "inputBits"), "24 bits per pixel");
  EXPECT_EQ(Field(view, "outputCompression"), "CCITT Group 4");
  EXPECT_EQ(Field(view, "outputSize"), "1240 x 1754 pixels");
  EXPECT_EQ(Field(view, "outputDpi"), "150 x 150 (dots per cm)");
  EXPECT_EQ(Field(view, "outputBits"), "1 bits per pixel");

  page.record.output.compression = kCompressionJPEG;
  page.record.output.resolutionUnit = 1;
  view.OnUpdate(HINT_PAGE_SETTINGS_CHANGED, &page);
  EXPECT_EQ(Field(view, "outputCompression"), "JPEG");
  EXPECT_EQ(Field(view, "outputDpi"), "150 x 150 (no units)");
  // A refreshed preview is no reason for the form to change.
  page.record.output.compression = kCompressionLZW;
  view.OnUpdate(HINT_PAGE_REFRESHED, &page);
  EXPECT_EQ(Field(view, "outputCompression"), "JPEG");

  view.OnUpdate(HINT_RESET, nullptr);
  for (const char* f : fields) EXPECT_EQ(Field(view, f), "---") << f;
}

TEST(InfoViewTest, SaysWhetherThePageIsCopiedOrConverted) {
  CPageWeaverInfoView view;
  PageHint page = ShownPage();
  view.OnUpdate(HINT_SHOW_PAGE, &page);
  // No such file: the page's own decision converts it.
  EXPECT_EQ(Field(view, "pageHandling"), "Page data: converted");
  std::vector<int32_t> asked;
  view.SetPageHandling([&](const PageRecord& r) {
    asked.push_back(r.output.width);
    return std::string("copied");
  });
  view.OnUpdate(HINT_PAGE_SETTINGS_CHANGED, &page);
  EXPECT_EQ(Field(view, "pageHandling"), "Page data: copied");
  EXPECT_EQ(asked, std::vector<int32_t>{1240});
  view.OnUpdate(HINT_RESET, nullptr);
  EXPECT_EQ(Field(view, "pageHandling"), "");
}

TEST(InfoViewTest, CodeTexts) {
  EXPECT_EQ(CPageWeaverInfoView::UnitText(1), "no units");
  EXPECT_EQ(CPageWeaverInfoView::UnitText(2), "dots per inch");
  EXPECT_EQ(CPageWeaverInfoView::UnitText(3), "dots per cm");
  EXPECT_EQ(CPageWeaverInfoView::UnitText(0), "dots per cm");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(1), "None");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(6), "None");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(2), "CCITT 2, Huffman ");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(3), "CCITT Group 3");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(5), "LZW");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(32773), "Packbits");
  EXPECT_EQ(CPageWeaverInfoView::CompressionName(32946), "Deflate");
}

TEST(ImageViewTest, ShowsACopyOfThePreviewWithItsMargins) {
  CPageWeaverImageView view;
  EXPECT_EQ(view.ScrollSize(), QSize(100, 100));

  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 280, 210);
  ReleaseDC(nullptr, screen);
  ASSERT_NE(bitmap, nullptr);
  PXBitmapBits(bitmap)[0] = 0x00123456;
  PageHint page;
  page.bitmap = bitmap;
  view.OnUpdate(HINT_SHOW_PAGE, &page);
  DeleteObject(bitmap);  // the cache may free it once the notification is over
  EXPECT_EQ(view.ScrollSize(), QSize(300, 230));
  ASSERT_EQ(view.Preview().size(), QSize(280, 210));
  EXPECT_EQ(view.Preview().pixel(0, 0) & 0xFFFFFF, 0x123456u);

  // A page without a preview shows none.
  PageHint none;
  view.OnUpdate(HINT_PAGE_REFRESHED, &none);
  EXPECT_TRUE(view.Preview().isNull());

  view.OnUpdate(HINT_RESET, nullptr);
  EXPECT_EQ(view.ScrollSize(), QSize(100, 100));
}

TEST(ImageViewTest, OutputStartStartsTheBusyTimer) {
  CPageWeaverImageView view;
  int fired = 0;
  view.SetBusyTimeout([&fired] { ++fired; });
  EXPECT_FALSE(view.BusyTimerActive());
  view.OnUpdate(HINT_OUTPUT_STARTING, nullptr);
  EXPECT_TRUE(view.BusyTimerActive());
  QTest::qWait(600);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(view.BusyTimerActive());
}

}  // namespace
