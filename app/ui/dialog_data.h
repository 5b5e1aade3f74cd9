// Moving values between dialog members and controls: combo boxes carry their number as
// item data and are read and selected by it; integer edits are checked against a range.
#ifndef PAGEWEAVER_UI_DIALOG_DATA_H
#define PAGEWEAVER_UI_DIALOG_DATA_H

#include <vector>

class QComboBox;
class QLineEdit;

namespace pwui {

struct ComboItem {
  const char* text;
  int data;
};

void FillCombo(QComboBox* combo, const std::vector<ComboItem>& items);
// The file-name orders as the preferences list them, "No sort" last.
const std::vector<ComboItem>& SortStyleItems();
// Selects the item that carries `value`, or the first item when none does.
void SelectByData(QComboBox* combo, int value);
// The selected item's number; 0 when nothing is selected.
int SelectedData(QComboBox* combo);

void SetInt(QLineEdit* edit, int value);
// Reads an integer between min and max into *value. A text that is no integer, or one
// out of range, is refused with the message the user knows from every dialog; the focus
// goes to the edit and false comes back (*value unchanged).
bool TakeInt(QLineEdit* edit, int min, int max, int* value);

}  // namespace pwui

#endif  // PAGEWEAVER_UI_DIALOG_DATA_H
