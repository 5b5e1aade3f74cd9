#include "prev_file_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "bitmap_image.h"
#include "document/page_image.h"
#include "message_box.h"

namespace {

constexpr int kPreviewSide = 120;
bool g_showPreview = true;

}  // namespace

CPreviewStatic::CPreviewStatic(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setFixedSize(kPreviewSide, kPreviewSide);
}

QRect CPreviewStatic::PictureArea() const {
  return rect().adjusted(1, 1, -1, -1);
}

bool CPreviewStatic::Load(const QString& path) {
  Clear();
  bool loaded = false;
  {
    pwui::WaitCursor wait;
    CPageImage image;
    if (image.Load(path.toStdString(), UNKNOWN, 0) == 0) {
      sourceWidth_ = int(image.Width());
      sourceHeight_ = int(image.Height());
      QRect area = PictureArea();
      uint32_t width = 0, height = 0;
      image.FitSize(uint32_t(area.width()), uint32_t(area.height()), &width, &height);
      CPageImage fitted;
      if (width && height && image.ScaledCopy(width, height, kResizeDefault, &fitted) == 0)
        picture_ = pwui::ImageFromPageImage(fitted);
      loaded = true;
    }
  }
  update();
  return loaded;
}

void CPreviewStatic::Clear() {
  picture_ = QImage();
  sourceWidth_ = sourceHeight_ = 0;
  update();
}

void CPreviewStatic::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  QRect area = PictureArea();
  painter.fillRect(area, Qt::white);
  if (picture_.isNull()) return;
  int x = area.left() + (area.width() - picture_.width()) / 2;
  int y = area.top() + (area.height() - picture_.height()) / 2;
  painter.drawImage(x, y, picture_);
}

bool CPrevFileDlg::ShowPreview() {
  return g_showPreview;
}

void CPrevFileDlg::SetShowPreview(bool on) {
  g_showPreview = on;
}

CPrevFileDlg::CPrevFileDlg(QWidget* parent) : QFileDialog(parent) {
  // The panel lives inside the dialog, so it has to be Qt's own dialog.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptOpen);

  previewBox_ = new QCheckBox(QStringLiteral("&Preview"));
  previewBox_->setObjectName("preview");
  preview_ = new CPreviewStatic;
  preview_->setObjectName("picture");
  sizeText_ = new QLabel;
  sizeText_->setObjectName("imageSize");
  sizeText_->setAlignment(Qt::AlignCenter);

  auto* panel = new QWidget;
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(previewBox_);
  column->addWidget(preview_, 0, Qt::AlignHCenter);
  column->addWidget(sizeText_);
  column->addStretch();
  if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);

  previewBox_->setChecked(g_showPreview);
  sizeText_->setText(QStringLiteral("No Image"));
  setLabelText(QFileDialog::Accept, QStringLiteral("Add images"));

  connect(this, &QFileDialog::currentChanged, this, &CPrevFileDlg::OnSelectionChanged);
  connect(this, &QFileDialog::directoryEntered, this, &CPrevFileDlg::OnFolderChanged);
  connect(previewBox_, &QCheckBox::clicked, this, &CPrevFileDlg::OnPreviewClicked);
}

QString CPrevFileDlg::SizeText() const {
  return sizeText_->text();
}

void CPrevFileDlg::UpdateSizeText() {
  if (preview_->SourceWidth() > 0 && preview_->SourceHeight() > 0)
    sizeText_->setText(QStringLiteral("%1 x %2\nPixels")
                           .arg(preview_->SourceWidth())
                           .arg(preview_->SourceHeight()));
  else
    sizeText_->setText(QStringLiteral("No Image"));
}

void CPrevFileDlg::OnSelectionChanged(const QString& path) {
  current_ = path;
  if (g_showPreview) {
    // A name that is no file (a folder, or nothing yet) leaves the picture as it was.
    if (QFileInfo(path).isFile()) preview_->Load(path);
  } else {
    preview_->Clear();
  }
  UpdateSizeText();
}

void CPrevFileDlg::OnFolderChanged() {
  preview_->Clear();
  UpdateSizeText();
}

void CPrevFileDlg::OnPreviewClicked(bool checked) {
  g_showPreview = checked;
  if (checked)
    preview_->Load(current_);
  else
    preview_->Clear();
  UpdateSizeText();
}

namespace pwui {

const std::vector<FileFilter>& AddImagesFilters() {
  // "All Image Files" lists the image extensions only: a description in front of the
  // first one would make it match nothing, leaving BMP files out.
  static const std::vector<FileFilter> filters = {
      {"Filtered files", "*.Bmp;*.Jpg;*.Psd;*.Gif;*.Pcx;*.Png;*.Tga;*.Tif;*.Wmf"},
      {"All Image Files", "*.BMP;*.JPG;*.PCX;*.PNG;*.TIF;*.GIF;*.TGA;*.EMF;*.WMF"},
      {" JPG Files (*.JPG)", "*.JPG"},
      {"PNG Files (*.PNG)", "*.PNG"},
      {"TIFF Files (*.TIF)", "*.TIF"},
      {"BMP Files (*.BMP)", "*.BMP"},
      {"PCX Files (*.PCX)", "*.PCX"},
      {"GIF Files (*.GIF)", "*.GIF"},
      {"TGA Files (*.TGA)", "*.TGA"},
      {"Metafiles (*.EMF)", "*.EMF;*.WMF"},
      // Phone and web pictures, after the types the dialog always had.
      {"WebP Files (*.WEBP)", "*.WEBP"},
      {"HEIF Files (*.HEIC)", "*.HEIC"},
      {"All files (*.*)", "*"},
  };
  return filters;
}

QStringList FilterPatterns(size_t index) {
  const auto& formats = CPageImage::FileExtensions();
  QStringList patterns;
  auto addFormat = [&](const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      QString ext = QString::fromStdString(name);
      for (const QString& pattern : {"*." + ext, "*." + ext.toUpper()})
        if (!patterns.contains(pattern)) patterns << pattern;
    }
  };
  const FileFilter& filter = AddImagesFilters().at(index);
  for (const QString& pattern : QString::fromUtf8(filter.patterns).split(';')) {
    patterns << pattern;
    // The same format under its other names, and every name in both letter cases:
    // dialogs that match case-sensitively would hide "photo.jpeg" and "SCAN.TIFF".
    QString ext = pattern.section('.', 1).toLower();
    for (const auto& names : formats)
      if (std::find(names.begin(), names.end(), ext.toStdString()) != names.end()) addFormat(names);
  }
  // The first two types are every image file the pages can come from.
  if (index < 2)
    for (const auto& names : formats) addFormat(names);
  return patterns;
}

void SetAddImagesFilters(QFileDialog* dialog) {
  QStringList qtFilters;
  for (size_t i = 0; i < AddImagesFilters().size(); ++i)
    qtFilters << QStringLiteral("Filter (%1)").arg(FilterPatterns(i).join(' '));
  dialog->setNameFilters(qtFilters);
  dialog->selectNameFilter(qtFilters.first());
  // Qt's own dialog lists a type as "name (patterns)" and takes the patterns from the
  // text; its list shows the names alone while the patterns stay in force.
  if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    const auto& filters = AddImagesFilters();
    for (int i = 0; i < types->count() && i < int(filters.size()); ++i)
      types->setItemText(i, QString::fromUtf8(filters[size_t(i)].name));
  }
}

bool SelectionFitsBuffer(const QStringList& files) {
  if (files.isEmpty()) return true;
  qsizetype needed = 0;
  if (files.size() == 1) {
    needed = files.first().size() + 2;
  } else {
    needed = QFileInfo(files.first()).absolutePath().size() + 1;
    for (const QString& file : files) needed += QFileInfo(file).fileName().size() + 1;
    needed += 1;
  }
  return needed <= kSelectionBufferSize;
}

}  // namespace pwui
