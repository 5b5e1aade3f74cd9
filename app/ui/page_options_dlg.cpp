#include "page_options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "message_box.h"

namespace {

// The members of a new dialog.
PageOutputSettings DialogDefaults() {
  PageOutputSettings s;
  s.width = 100;
  s.height = 100;
  s.resolutionX = 72;
  s.resolutionY = 72;
  s.resolutionUnit = 1;
  s.compression = kCompressionGroup4;
  s.bitsPerPixel = 1;
  s.rotation = 0;
  s.flip = 0;
  s.threshold = 128;
  return s;
}

constexpr char kKeepText[] = "(keep)";
constexpr char kMixedTip[] =
    "The pages differ here: unless you change it, each keeps its own value";
// How many file names the top line of several pages names.
constexpr int kNamesShown = 4;

QString PagesText(const std::vector<PageRecord>& pages) {
  QStringList names;
  for (const PageRecord& page : pages) {
    if (names.size() == kNamesShown) break;
    names << QFileInfo(QString::fromStdString(page.sourcePath)).fileName();
  }
  QString text = (pages.size() == 1 ? QStringLiteral("1 page: ")
                                    : QStringLiteral("%1 pages: ").arg(pages.size())) +
                 names.join(QStringLiteral(", "));
  if (pages.size() > size_t(kNamesShown))
    text += QStringLiteral(" and %1 more").arg(pages.size() - size_t(kNamesShown));
  return text;
}

}  // namespace

CPageOptionsDlg::CPageOptionsDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Output options for this page"));
  values_ = shown_ = OutputFieldValues::Of(DialogDefaults());

  path_ = new QLabel;
  path_->setObjectName("sourcePath");
  path_->setTextFormat(Qt::PlainText);
  path_->setWordWrap(true);
  sizeX_ = AddEdit(OutputField::kWidth, "sizeX", 1, kMaxOutputSize);
  sizeY_ = AddEdit(OutputField::kHeight, "sizeY", 1, kMaxOutputSize);
  changeSizeBox_ = new QCheckBox(QStringLiteral("Change size"));
  changeSizeBox_->setObjectName("changeSize");
  QComboBox* rotationBox = AddCombo(OutputField::kRotation, "rotation",
                                    {{"None", 0}, {"90", 90}, {"180", 180}, {"270", 270}});
  QComboBox* flipBox =
      AddCombo(OutputField::kFlip, "flip", {{"None", 0}, {"Horizontal", 1}, {"Vertical", 2}});
  dpiX_ = AddEdit(OutputField::kResolutionX, "dpiX", 0, kMaxOutputResolution);
  QLineEdit* dpiY = AddEdit(OutputField::kResolutionY, "dpiY", 0, kMaxOutputResolution);
  unitBox_ = AddCombo(OutputField::kResolutionUnit, "unit",
                      {{"No units", 1}, {"Dots per inch", 2}, {"Dots per cm", 3}});
  compressionBox_ = AddCombo(OutputField::kCompression, "compression",
                             {{"None", kCompressionNone},
                              {"CCITT Huffman", kCompressionHuffman},
                              {"CCITT Group 3", kCompressionGroup3},
                              {"CCITT Group 4", kCompressionGroup4},
                              {"LZW", kCompressionLZW},
                              {"JPEG", kCompressionJPEG},
                              {"Packbits", kCompressionPackBits},
                              {"Deflate", kCompressionDeflate}});
  qualityEdit_ =
      AddEdit(OutputField::kJPEGQuality, "jpegQuality", kMinJPEGQuality, kMaxJPEGQuality);
  qualityLabel_ = new QLabel(QStringLiteral("JPEG quality:"));
  qualityLabel_->setObjectName("jpegQualityLabel");
  qualityEdit_->setToolTip(QStringLiteral("1 (smallest file) to 100 (best picture)"));
  // Its items follow the compression (RebuildBitDepths).
  bitDepthBox_ = AddCombo(OutputField::kBitsPerPixel, "bitDepth", {});
  thresholdEdit_ = AddEdit(OutputField::kThreshold, "threshold", 0, kMaxThreshold);
  thresholdLabel_ = new QLabel(QStringLiteral("Black threshold:"));
  thresholdLabel_->setObjectName("thresholdLabel");
  ditherBox_ = new QCheckBox(QStringLiteral("Dither"));
  ditherBox_->setObjectName("dither");
  ditherBox_->setToolTip(
      QStringLiteral("Spread each pixel's error to its neighbours instead of cutting at the "
                     "threshold: photographs keep their shades as a density of dots"));
  AddCheck(OutputField::kDither, ditherBox_);
  setAllBox_ = new QCheckBox(QStringLiteral(
      "Set all pages to these settings (ignores size if Change Size is not checked)"));
  setAllBox_->setObjectName("setAll");

  auto* grid = new QGridLayout;
  int row = 0;
  grid->addWidget(new QLabel(QStringLiteral("Size:")), row, 0);
  grid->addWidget(sizeX_, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("x")), row, 2, Qt::AlignCenter);
  grid->addWidget(sizeY_, row, 3);
  grid->addWidget(changeSizeBox_, row, 4);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Rotation:")), row, 0);
  grid->addWidget(rotationBox, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("Deg")), row, 2);
  grid->addWidget(new QLabel(QStringLiteral("Rotation is applied after resizing")), row, 3, 1, 2);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Flip:")), row, 0);
  grid->addWidget(flipBox, row, 1);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("DPI:")), row, 0);
  grid->addWidget(dpiX_, row, 1);
  grid->addWidget(new QLabel(QStringLiteral("x")), row, 2, Qt::AlignCenter);
  grid->addWidget(dpiY, row, 3);
  grid->addWidget(unitBox_, row, 4);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Compression:")), row, 0);
  grid->addWidget(compressionBox_, row, 1, 1, 3);
  ++row;
  grid->addWidget(qualityLabel_, row, 0);
  grid->addWidget(qualityEdit_, row, 1);
  ++row;
  grid->addWidget(new QLabel(QStringLiteral("Bit depth:")), row, 0);
  grid->addWidget(bitDepthBox_, row, 1, 1, 3);
  ++row;
  grid->addWidget(thresholdLabel_, row, 0);
  grid->addWidget(thresholdEdit_, row, 1);
  grid->addWidget(ditherBox_, row, 3);
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
    UpdateQualityEnabling();
  });
  connect(bitDepthBox_, &QComboBox::currentIndexChanged, this, [this] {
    if (!updating_) UpdateThresholdEnabling();
  });
  connect(changeSizeBox_, &QCheckBox::clicked, this, &CPageOptionsDlg::OnChangeSizeClicked);
  // The check box keeps its state when a compression change writes the members back.
  connect(setAllBox_, &QCheckBox::clicked, this, [this](bool checked) { setAll_ = checked; });

  InitControls();
}

QLineEdit* CPageOptionsDlg::AddEdit(OutputField field, const char* name, int min, int max) {
  auto* edit = new QLineEdit;
  edit->setObjectName(name);
  edit->setMaximumWidth(70);
  edits_.push_back({field, edit, min, max});
  return edit;
}

QComboBox* CPageOptionsDlg::AddCombo(OutputField field, const char* name,
                                     std::initializer_list<pwui::ComboItem> items) {
  auto* combo = new QComboBox;
  combo->setObjectName(name);
  combos_.push_back({field, combo, items});
  return combo;
}

void CPageOptionsDlg::AddCheck(OutputField field, QCheckBox* box) {
  checks_.push_back({field, box});
}

void CPageOptionsDlg::SetPage(const PageRecord& page) {
  pages_ = {page.output};
  Show(OutputFieldValues::Of(page.output), false);
  setWindowTitle(QStringLiteral("Output options for this page"));
  path_->setText(QString::fromStdString(page.sourcePath));
  setAllBox_->setVisible(true);
  InitControls();
}

void CPageOptionsDlg::SetPages(const std::vector<PageRecord>& pages) {
  pages_.clear();
  for (const PageRecord& page : pages) pages_.push_back(page.output);
  Show(OutputFieldValues::Shared(pages_), true);
  setWindowTitle(pages.size() == 1
                     ? QStringLiteral("Output settings for 1 page")
                     : QStringLiteral("Output settings for %1 pages").arg(pages.size()));
  path_->setText(PagesText(pages));
  setAllBox_->setVisible(false);
  InitControls();
}

void CPageOptionsDlg::Show(const OutputFieldValues& values, bool several) {
  several_ = several;
  values_ = shown_ = values;
  changeSize_ = false;
  setAll_ = false;
}

void CPageOptionsDlg::FillComboField(const ComboField& field) {
  pwui::FillCombo(field.combo, field.items);
  if (Mixed(field.field)) field.combo->insertItem(0, QString::fromLatin1(kKeepText), kKeep);
  field.combo->setToolTip(Mixed(field.field) ? QString::fromLatin1(kMixedTip) : QString());
}

void CPageOptionsDlg::InitControls() {
  updating_ = true;
  for (const ComboField& field : combos_) {
    if (field.combo == bitDepthBox_) continue;
    FillComboField(field);
    pwui::SelectByData(field.combo, values_[field.field].value_or(kKeep));
  }
  updating_ = false;
  RebuildBitDepths();
  UpdateThresholdEnabling();
  UpdateQualityEnabling();
  sizeX_->setEnabled(changeSize_);
  sizeY_->setEnabled(changeSize_);
}

PageOutputSettings CPageOptionsDlg::Settings() const {
  PageOutputSettings s = DialogDefaults();
  for (size_t f = 0; f < kOutputFieldCount; ++f)
    if (const auto& value = values_[OutputField(f)]) SetFieldValue(&s, OutputField(f), *value);
  return s;
}

SettingsChange CPageOptionsDlg::Change() const {
  SettingsChange change;
  for (size_t f = 0; f < kOutputFieldCount; ++f) {
    OutputField field = OutputField(f);
    bool size = field == OutputField::kWidth || field == OutputField::kHeight;
    if (values_[field] && values_[field] != shown_[field] && (!size || changeSize_))
      change.values[field] = values_[field];
  }
  return change;
}

void CPageOptionsDlg::WriteMembers() {
  for (const EditField& field : edits_) {
    if (const auto& value = values_[field.field])
      pwui::SetInt(field.edit, *value);
    else
      field.edit->clear();
    field.edit->setToolTip(Mixed(field.field) ? QString::fromLatin1(kMixedTip) : QString());
  }
  for (const CheckField& field : checks_) {
    field.box->setTristate(Mixed(field.field));
    const auto& value = values_[field.field];
    field.box->setCheckState(!value ? Qt::PartiallyChecked : *value ? Qt::Checked : Qt::Unchecked);
  }
  changeSizeBox_->setChecked(changeSize_);
  setAllBox_->setChecked(setAll_);
}

bool CPageOptionsDlg::ReadMembers() {
  for (const EditField& field : edits_) {
    // With several pages an empty field keeps each page's own value.
    if (several_ && field.edit->text().trimmed().isEmpty()) {
      values_[field.field].reset();
      continue;
    }
    int value = values_[field.field].value_or(0);
    if (!pwui::TakeInt(field.edit, field.min, field.max, &value)) return false;
    values_[field.field] = value;
  }
  for (const CheckField& field : checks_) {
    Qt::CheckState state = field.box->checkState();
    if (state == Qt::PartiallyChecked)
      values_[field.field].reset();
    else
      values_[field.field] = state == Qt::Checked ? 1 : 0;
  }
  changeSize_ = changeSizeBox_->isChecked();
  setAll_ = setAllBox_->isChecked();
  return true;
}

void CPageOptionsDlg::ReadCombos() {
  for (const ComboField& field : combos_) {
    int value = pwui::SelectedData(field.combo);
    if (value == kKeep)
      values_[field.field].reset();
    else
      values_[field.field] = value;
  }
}

void CPageOptionsDlg::RebuildBitDepths() {
  int compression = pwui::SelectedData(compressionBox_);
  int forced = compression == kKeep ? 0 : ForcedBitsPerPixel(compression);
  updating_ = true;
  if (forced == 1) {
    pwui::FillCombo(bitDepthBox_, {{"Bitmap (1-bit)", 1}});
  } else if (forced == 24) {
    pwui::FillCombo(bitDepthBox_, {{"True color (24-bits)", 24}});
  } else {
    pwui::FillCombo(
        bitDepthBox_,
        {{"True color (24-bits)", 24}, {"Indexed color (8-bits)", 8}, {"Bitmap (1-bit)", 1}});
    // With the compression kept, a page whose compression allows one depth only keeps
    // that depth whatever is chosen here.
    if (Mixed(OutputField::kBitsPerPixel))
      bitDepthBox_->insertItem(0, QString::fromLatin1(kKeepText), kKeep);
  }
  if (forced) values_[OutputField::kBitsPerPixel] = forced;
  pwui::SelectByData(bitDepthBox_, values_[OutputField::kBitsPerPixel].value_or(kKeep));
  updating_ = false;
  // Text typed since the last check goes back to the value last taken.
  WriteMembers();
}

void CPageOptionsDlg::UpdateThresholdEnabling() {
  int bits = pwui::SelectedData(bitDepthBox_);
  if (bits == kKeep) {
    // Some of the pages may be or stay 1-bit.
    values_[OutputField::kBitsPerPixel].reset();
    thresholdEdit_->setEnabled(true);
    thresholdLabel_->setEnabled(true);
    ditherBox_->setEnabled(true);
    return;
  }
  values_[OutputField::kBitsPerPixel] = bits;
  if (bits == 1 || bits == 8 || bits == 24) {
    bool enable = bits == 1;
    thresholdEdit_->setEnabled(enable);
    thresholdLabel_->setEnabled(enable);
    ditherBox_->setEnabled(enable);
  }
}

void CPageOptionsDlg::UpdateQualityEnabling() {
  // With the compression kept, some of the pages may be JPEG ones.
  const int compression = pwui::SelectedData(compressionBox_);
  const bool enable = compression == kCompressionJPEG || compression == kKeep;
  qualityEdit_->setEnabled(enable);
  qualityLabel_->setEnabled(enable);
}

void CPageOptionsDlg::OnChangeSizeClicked() {
  ReadMembers();
  bool checked = changeSizeBox_->isChecked();
  changeSize_ = checked;
  sizeX_->setEnabled(checked);
  sizeY_->setEnabled(checked);
}

void CPageOptionsDlg::accept() {
  ReadCombos();
  if (!ReadMembers()) return;
  std::vector<PageOutputSettings> results;
  if (several_) {
    SettingsChange change = Change();
    for (const PageOutputSettings& page : pages_) results.push_back(change.ApplyTo(page));
  } else {
    results.push_back(Settings());
  }
  for (const PageOutputSettings& result : results) {
    if (!LacksResolutionForCCITT(result)) continue;
    pwui::ShowMessage(this,
                      QStringLiteral("You must set a value for DPI, if you are creating a G2, G3 "
                                     "or G4 TIFF"));
    if (result.resolutionUnit == 1)
      unitBox_->setFocus(Qt::OtherFocusReason);
    else
      dpiX_->setFocus(Qt::OtherFocusReason);
    return;
  }
  QDialog::accept();
}
