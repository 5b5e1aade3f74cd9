#include "preferences_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "dialog_data.h"

CPreferencesDlg::CPreferencesDlg(Preferences* preferences, QWidget* parent)
    : QDialog(parent),
      preferences_(preferences),
      sortStyle_(preferences->SortStyle()),
      size_(preferences->ReadPreviewSize()),
      turnUpright_(preferences->TurnPhotographsUpright()) {
  setWindowTitle(QStringLiteral("Preferences"));

  sortBox_ = new QComboBox;
  sortBox_->setObjectName("sortStyle");
  pwui::FillCombo(sortBox_, pwui::SortStyleItems());
  pwui::SelectByData(sortBox_, sortStyle_);

  width_ = new QLineEdit;
  width_->setObjectName("previewWidth");
  height_ = new QLineEdit;
  height_->setObjectName("previewHeight");
  pwui::SetInt(width_, size_.width);
  pwui::SetInt(height_, size_.height);

  auto* group = new QGroupBox(QStringLiteral("Preview Image Size"));
  auto* note = new QLabel(
      QStringLiteral("Set the maximum size a preview image can be. Preiview images are cached "
                     "for fast display."));
  note->setWordWrap(true);
  auto* sizes = new QFormLayout;
  sizes->addRow(QStringLiteral("Width:"), width_);
  sizes->addRow(QStringLiteral("Height:"), height_);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(note);
  groupLayout->addLayout(sizes);

  turnUprightBox_ = new QCheckBox(QStringLiteral("Turn photographs upright (EXIF orientation)"));
  turnUprightBox_->setObjectName("turnUpright");
  turnUprightBox_->setChecked(turnUpright_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &CPreferencesDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CPreferencesDlg::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Filename sort order when adding multiple files:")));
  layout->addWidget(sortBox_);
  layout->addWidget(group);
  layout->addWidget(turnUprightBox_);
  layout->addWidget(buttons);
}

void CPreferencesDlg::accept() {
  PreviewSize size = size_;
  if (!pwui::TakeInt(width_, kMinPreviewSize, kMaxPreviewSize, &size.width)) return;
  if (!pwui::TakeInt(height_, kMinPreviewSize, kMaxPreviewSize, &size.height)) return;
  size_ = size;
  sortStyle_ = pwui::SelectedData(sortBox_);
  // A store that cannot be written keeps the old settings; the dialog closes all the same.
  turnUpright_ = turnUprightBox_->isChecked();
  preferences_->Write(sortStyle_, size_);
  preferences_->WriteTurnPhotographsUpright(turnUpright_);
  QDialog::accept();
}
