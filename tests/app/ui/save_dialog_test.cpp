// The save dialog: TIFF first and chosen, PDF after it; a name typed without extension
// takes the chosen filter's.
#include <QFileDialog>

#include "ui/qt_user_interface.h"
#include "ui_support.h"

namespace {

TEST(SaveDialogTest, OffersTIFFThenPDFAndNamesTakeTheChosenExtension) {
  pxtest::TempDir dir;
  QtUserInterface ui(nullptr);
  uitest::WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->nameFilters(), (QStringList{QStringLiteral("TIFF Files (*.tif)"),
                                                  QStringLiteral("PDF Files (*.pdf)")}));
    EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("TIFF Files (*.tif)"));
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("tif"));
    dialog->selectNameFilter(QStringLiteral("PDF Files (*.pdf)"));
    emit dialog->filterSelected(QStringLiteral("PDF Files (*.pdf)"));
    dialog->selectFile(QString::fromStdString(dir.File("scan")));
    static_cast<QDialog*>(dialog)->accept();
  });
  EXPECT_EQ(ui.AskSavePath(), dir.File("scan.pdf"));
}

}  // namespace
