#include "info_view.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

const QString kNoValue = QStringLiteral("---");

QLabel* ValueLabel(const char* name) {
  auto* label = new QLabel(kNoValue);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QString Resolution(int x, int y, int unit) {
  return QStringLiteral("%1 x %2 (%3)").arg(x).arg(y).arg(CPageWeaverInfoView::UnitText(unit));
}

QString Pixels(int width, int height) {
  return QStringLiteral("%1 x %2 pixels").arg(width).arg(height);
}

QString Bits(int bits) {
  return QStringLiteral("%1 bits per pixel").arg(bits);
}

}  // namespace

CPathLabel::CPathLabel(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void CPathLabel::setText(const QString& text) {
  text_ = text;
  setToolTip(text == kNoValue ? QString() : text);
  update();
}

QSize CPathLabel::sizeHint() const {
  return QSize(fontMetrics().horizontalAdvance(text_) + 4, fontMetrics().height() + 4);
}

QSize CPathLabel::minimumSizeHint() const {
  return QSize(fontMetrics().horizontalAdvance(QStringLiteral("...")) + 4,
               fontMetrics().height() + 4);
}

void CPathLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Button));
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  QString shown = fontMetrics().elidedText(text_, Qt::ElideRight, width());
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

CPageWeaverInfoView::CPageWeaverInfoView(QWidget* parent) : QWidget(parent) {
  file_ = new CPathLabel;
  file_->setObjectName("inputFile");
  file_->setText(kNoValue);
  inputSize_ = ValueLabel("inputSize");
  inputDpi_ = ValueLabel("inputDpi");
  inputBits_ = ValueLabel("inputBits");
  compression_ = ValueLabel("outputCompression");
  outputSize_ = ValueLabel("outputSize");
  outputDpi_ = ValueLabel("outputDpi");
  outputBits_ = ValueLabel("outputBits");
  outputDither_ = ValueLabel("outputDither");

  auto* input = new QGroupBox(QStringLiteral("Input data"));
  auto* inputForm = new QFormLayout(input);
  inputForm->addRow(QStringLiteral("File:"), file_);
  inputForm->addRow(QStringLiteral("Size:"), inputSize_);
  inputForm->addRow(QStringLiteral("DPI"), inputDpi_);
  inputForm->addRow(QStringLiteral("Bit Depth:"), inputBits_);

  auto* output = new QGroupBox(QStringLiteral("Output settings"));
  auto* outputForm = new QFormLayout(output);
  outputForm->addRow(QStringLiteral("Compression:"), compression_);
  outputForm->addRow(QStringLiteral("Size:"), outputSize_);
  outputForm->addRow(QStringLiteral("DPI"), outputDpi_);
  outputForm->addRow(QStringLiteral("Bit Depth:"), outputBits_);
  outputForm->addRow(QStringLiteral("Dither:"), outputDither_);

  handling_ = ValueLabel("pageHandling");
  handling_->setText(QString());

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(input);
  layout->addWidget(output);
  layout->addWidget(handling_);
  layout->addStretch();
}

QString CPageWeaverInfoView::UnitText(int unit) {
  switch (unit) {
    case 1:
      return QStringLiteral("no units");
    case 2:
      return QStringLiteral("dots per inch");
    default:
      return QStringLiteral("dots per cm");
  }
}

QString CPageWeaverInfoView::CompressionName(int compression) {
  switch (compression) {
    case kCompressionHuffman:
      return QStringLiteral("CCITT 2, Huffman ");
    case kCompressionGroup3:
      return QStringLiteral("CCITT Group 3");
    case kCompressionGroup4:
      return QStringLiteral("CCITT Group 4");
    case kCompressionLZW:
      return QStringLiteral("LZW");
    case kCompressionJPEG:
      return QStringLiteral("JPEG");
    case kCompressionPackBits:
      return QStringLiteral("Packbits");
    case kCompressionDeflate:
      return QStringLiteral("Deflate");
    default:
      return QStringLiteral("None");
  }
}

void CPageWeaverInfoView::OnUpdate(PageListHint hint, const PageHint* pageHint) {
  switch (hint) {
    case HINT_RESET:
      Reset();
      break;
    case HINT_SHOW_PAGE:
    case HINT_PAGE_SETTINGS_CHANGED:
      if (pageHint) Fill(pageHint->record);
      break;
    default:
      break;
  }
}

void CPageWeaverInfoView::Reset() {
  file_->setText(kNoValue);
  for (QLabel* label : {inputSize_, inputDpi_, inputBits_, compression_, outputSize_, outputDpi_,
                        outputBits_, outputDither_})
    label->setText(kNoValue);
  handling_->setText(QString());
}

void CPageWeaverInfoView::Fill(const PageRecord& record) {
  const PageOutputSettings& out = record.output;
  file_->setText(QString::fromStdString(record.sourcePath));
  inputDpi_->setText(
      Resolution(record.inputResolutionX, record.inputResolutionY, record.inputResolutionUnit));
  inputSize_->setText(Pixels(record.inputWidth, record.inputHeight));
  inputBits_->setText(Bits(record.inputBitsPerPixel));
  outputDpi_->setText(Resolution(out.resolutionX, out.resolutionY, out.resolutionUnit));
  outputSize_->setText(Pixels(out.width, out.height));
  outputBits_->setText(Bits(out.bitsPerPixel));
  compression_->setText(CompressionName(out.compression));
  const std::string handling =
      handlingOf_ ? handlingOf_(record) : PageHandlingName(DecidePageHandling(record));
  handling_->setText(QStringLiteral("Page data: ") + QString::fromStdString(handling));
  // Dithering acts on 1-bit pages only.
  outputDither_->setText(out.dither ? QStringLiteral("On") : QStringLiteral("Off"));
}
