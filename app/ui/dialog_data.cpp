#include "dialog_data.h"

#include <QComboBox>
#include <QLineEdit>

#include "document/preferences.h"
#include "message_box.h"

namespace pwui {

void FillCombo(QComboBox* combo, const std::vector<ComboItem>& items) {
  combo->clear();
  for (const ComboItem& item : items) combo->addItem(QString::fromUtf8(item.text), item.data);
}

const std::vector<ComboItem>& SortStyleItems() {
  static const std::vector<ComboItem> items = {
      {"Alpha-numeric", kSortAlphaNumeric},
      {"Alpha-numeric (reverse)", kSortAlphaNumericReverse},
      {"Alphabetical", kSortAlphabetical},
      {"Alphabetical(reverse)", kSortAlphabeticalReverse},
      {"Date", kSortDate},
      {"Date (reversed)", kSortDateReverse},
      {"No sort", kSortNone}};
  return items;
}

void SelectByData(QComboBox* combo, int value) {
  int index = combo->findData(value);
  combo->setCurrentIndex(index >= 0 ? index : (combo->count() > 0 ? 0 : -1));
}

int SelectedData(QComboBox* combo) {
  if (combo->currentIndex() < 0) return 0;
  return combo->currentData().toInt();
}

void SetInt(QLineEdit* edit, int value) {
  edit->setText(QString::number(value));
}

bool TakeInt(QLineEdit* edit, int min, int max, int* value) {
  bool ok = false;
  int v = edit->text().trimmed().toInt(&ok);
  QString refusal;
  if (!ok)
    refusal = QStringLiteral("Please enter an integer.");
  else if (v < min || v > max)
    refusal = QStringLiteral("Please enter an integer between %1 and %2.").arg(min).arg(max);
  if (refusal.isEmpty()) {
    *value = v;
    return true;
  }
  ShowMessage(edit->window(), refusal);
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  return false;
}

}  // namespace pwui
