#include "page_options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_data.h"
#include "message_box.h"

namespace {

bool IsCCITT(int compression) {
  return compression == kCompressionHuffman || compression == kCompressionGroup3 ||
         compression == kCompressionGroup4;
}

QLineEdit* NumberEdit(const char* name) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setMaximumWidth(70);
  return edit;
}

QComboBox* DropDown(const char* name) {
  auto* combo = new QComboBox;
  combo->setObjectName(name);
  return combo;
}

}  // namespace

CPageOptionsDlg::CPageOptionsDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Output options for this page"));

  path_ = new QLabel;
  path_->setObjectName("sourcePath");
  path_->setTextFormat(Qt::PlainText);
  path_->setWordWrap(true);
  sizeX_ = NumberEdit("sizeX");
  sizeY_ = NumberEdit("sizeY");
  changeSizeBox_ = new QCheckBox(QStringLiteral("Change size"));
  changeSizeBox_->setObjectName("changeSize");
  rotationBox_ = DropDown("rotation");
  flipBox_ = DropDown("flip");
  dpiX_ = NumberEdit("dpiX");
  dpiY_ = NumberEdit("dpiY");
  unitBox_ = DropDown("unit");
  compressionBox_ = DropDown("compression");
  bitDepthBox_ = DropDown("bitDepth");
  thresholdEdit_ = NumberEdit("threshold");
  thresholdLabel_ = new QLabel(QStringLiteral("Black threshold:"));
  thresholdLabel_->setObjectName("thresholdLabel");
  setAllBox_ = new QCheckBox(QStringLiteral(
      "Set all pages to these settings (ignores size if Change Size is not checked)"));
  setAllBox_->setObjectName("setAll");

  pwui::FillCombo(rotationBox_, {{"None", 0}, {"90", 90}, {"180", 180}, {"270", 270}});
  pwui::FillCombo(flipBox_, {{"None", 0}, {"Horizontal", 1}, {"Vertical", 2}});
  pwui::FillCombo(unitBox_, {{"No units", 1}, {"Dots per inch", 2}, {"Dots per cm", 3}});
  pwui::FillCombo(compressionBox_, {{"None", kCompressionNone},
                                    {"CCITT Huffman", kCompressionHuffman},
                                    {"CCITT Group 3", kCompressionGroup3},
                                    {"CCITT Group 4", kCompressionGroup4},
                                    {"LZW", kCompressionLZW},
                                    {"JPEG", kCompressionJPEG},
                                    {"Packbits", kCompressionPackBits},
                                    {"Deflate", kCompressionDeflate}});

  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(new QLabel(QStringLiteral("Size:")), row, 0);
  grid->addWidget(sizeX_, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("x")), row, 2, Qt::AlignCenter);
  grid->addWidget(sizeY_, row, 3);
  grid->addWidget(changeSizeBox_, row, 4);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Rotation:")), row, 0);
  grid->addWidget(rotationBox_, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("Deg")), row, 2);
  grid->addWidget(new QLabel(QStringLiteral("Rotation is applied after resizing")), row, 3, 1, 2);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Flip:")), row, 0);
  grid->addWidget(flipBox_, row, 1);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("DPI:")), row, 0);
  grid->addWidget(dpiX_, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("x")), row, 2, Qt::AlignCenter);
  grid->addWidget(dpiY_, row, 3);
  grid->addWidget(unitBox_, row, 4);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Compression:")), row, 0);
  grid->addWidget(compressionBox_, row, 1, 1, 3);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Bit depth:")), row, 0);
  grid->addWidget(bitDepthBox_, row, 1, 1, 3);
  ++row;
  grid->addWidget(thresholdLabel_, row, 0);
  grid->addWidget(thresholdEdit_, row, 1);
  grid->setColumnStretch(4, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &CPageOptionsDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CPageOptionsDlg::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(path_);
  layout->addLayout(grid);
  layout->addWidget(setAllBox_);
  layout->addWidget(buttons);

  connect(compressionBox_, &QComboBox::currentIndexChanged, this, [this] {
    if (updating_) return;
    RebuildBitDepths();
    UpdateThresholdEnabling();
  });
  connect(bitDepthBox_, &QComboBox::currentIndexChanged, this, [this] {
    if (!updating_) UpdateThresholdEnabling();
  });
  connect(changeSizeBox_, &QCheckBox::clicked, this, &CPageOptionsDlg::OnChangeSizeClicked);
  // The check box keeps its state when a compression change writes the members back.
  connect(setAllBox_, &QCheckBox::clicked, this, [this](bool checked) { setAll_ = checked; });

  InitControls();
}

void CPageOptionsDlg::SetPage(const PageRecord& page) {
  const PageOutputSettings& out = page.output;
  width_ = out.width;
  height_ = out.height;
  resolutionX_ = out.resolutionX;
  resolutionY_ = out.resolutionY;
  unit_ = out.resolutionUnit;
  bitsPerPixel_ = out.bitsPerPixel;
  compression_ = out.compression;
  rotation_ = out.rotation;
  flip_ = out.flip;
  threshold_ = out.threshold;
  changeSize_ = false;
  setAll_ = false;
  path_->setText(QString::fromStdString(page.sourcePath));
  InitControls();
}

void CPageOptionsDlg::InitControls() {
  updating_ = true;
  pwui::SelectByData(unitBox_, unit_);
  pwui::SelectByData(compressionBox_, compression_);
  pwui::SelectByData(rotationBox_, rotation_);
  pwui::SelectByData(flipBox_, flip_);
  updating_ = false;
  RebuildBitDepths();
  UpdateThresholdEnabling();
  sizeX_->setEnabled(changeSize_);
  sizeY_->setEnabled(changeSize_);
}

PageOutputSettings CPageOptionsDlg::Settings() const {
  PageOutputSettings s;
  s.width = width_;
  s.height = height_;
  s.resolutionX = resolutionX_;
  s.resolutionY = resolutionY_;
  s.resolutionUnit = unit_;
  s.bitsPerPixel = bitsPerPixel_;
  s.compression = compression_;
  s.rotation = rotation_;
  s.flip = flip_;
  s.threshold = threshold_;
  return s;
}

void CPageOptionsDlg::WriteMembers() {
  pwui::SetInt(sizeX_, width_);
  pwui::SetInt(sizeY_, height_);
  pwui::SetInt(dpiX_, resolutionX_);
  pwui::SetInt(dpiY_, resolutionY_);
  pwui::SetInt(thresholdEdit_, threshold_);
  changeSizeBox_->setChecked(changeSize_);
  setAllBox_->setChecked(setAll_);
}

bool CPageOptionsDlg::ReadMembers() {
  if (!pwui::TakeInt(sizeX_, 1, kMaxOutputSize, &width_)) return false;
  if (!pwui::TakeInt(sizeY_, 1, kMaxOutputSize, &height_)) return false;
  if (!pwui::TakeInt(dpiX_, 0, kMaxOutputResolution, &resolutionX_)) return false;
  if (!pwui::TakeInt(dpiY_, 0, kMaxOutputResolution, &resolutionY_)) return false;
  if (!pwui::TakeInt(thresholdEdit_, 0, kMaxThreshold, &threshold_)) return false;
  changeSize_ = changeSizeBox_->isChecked();
  setAll_ = setAllBox_->isChecked();
  return true;
}

void CPageOptionsDlg::RebuildBitDepths() {
  int compression = pwui::SelectedData(compressionBox_);
  updating_ = true;
  if (IsCCITT(compression)) {
    pwui::FillCombo(bitDepthBox_, {{"Bitmap (1-bit)", 1}});
    bitsPerPixel_ = 1;
  } else if (compression == kCompressionJPEG) {
    pwui::FillCombo(bitDepthBox_, {{"True color (24-bits)", 24}});
    bitsPerPixel_ = 24;
  } else {
    pwui::FillCombo(
        bitDepthBox_,
        {{"True color (24-bits)", 24}, {"Indexed color (8-bits)", 8}, {"Bitmap (1-bit)", 1}});
  }
  pwui::SelectByData(bitDepthBox_, bitsPerPixel_);
  updating_ = false;
  // Text typed since the last check goes back to the value last taken.
  WriteMembers();
}

void CPageOptionsDlg::UpdateThresholdEnabling() {
  bitsPerPixel_ = pwui::SelectedData(bitDepthBox_);
  if (bitsPerPixel_ == 1 || bitsPerPixel_ == 8 || bitsPerPixel_ == 24) {
    bool enable = bitsPerPixel_ == 1;
    thresholdEdit_->setEnabled(enable);
    thresholdLabel_->setEnabled(enable);
  }
}

void CPageOptionsDlg::OnChangeSizeClicked() {
  ReadMembers();
  bool checked = changeSizeBox_->isChecked();
  changeSize_ = checked;
  sizeX_->setEnabled(checked);
  sizeY_->setEnabled(checked);
}

void CPageOptionsDlg::accept() {
  rotation_ = pwui::SelectedData(rotationBox_);
  flip_ = pwui::SelectedData(flipBox_);
  compression_ = pwui::SelectedData(compressionBox_);
  unit_ = pwui::SelectedData(unitBox_);
  bitsPerPixel_ = pwui::SelectedData(bitDepthBox_);
  if (!ReadMembers()) return;
  if (IsCCITT(compression_) && (unit_ == 1 || resolutionX_ == 0 || resolutionY_ == 0)) {
    pwui::ShowMessage(this,
                      QStringLiteral("You must set a value for DPI, if you are creating a G2, G3 "
                                     "or G4 TIFF"));
    if (unit_ == 1)
      unitBox_->setFocus(Qt::OtherFocusReason);
    else
      dpiX_->setFocus(Qt::OtherFocusReason);
    return;
  }
  QDialog::accept();
}
