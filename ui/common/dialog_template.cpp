#include "ui/common/dialog_template.h"

ItemKind KindOf(const DialogItem& item) {
  switch (item.itemClass) {
    case ItemClass::kEdit:
      return (item.style & style::kEditMultiLine) ? ItemKind::kMultiLineEdit : ItemKind::kEdit;
    case ItemClass::kComboBox: return ItemKind::kComboBox;
    case ItemClass::kStatic:
      switch (item.style & style::kStaticTypeMask) {
        case style::kStaticBitmap: return ItemKind::kPicture;
        case style::kStaticIcon: return ItemKind::kIcon;
        default: return ItemKind::kStaticText;
      }
    case ItemClass::kButton:
      switch (item.style & style::kButtonTypeMask) {
        case style::kDefPushButton: return ItemKind::kDefPushButton;
        case style::kAutoCheckBox: return ItemKind::kCheckBox;
        case style::kGroupBox: return ItemKind::kGroupBox;
        case style::kAutoRadioButton: return ItemKind::kRadioButton;
        default: return ItemKind::kPushButton;
      }
  }
  return ItemKind::kStaticText;
}

bool HasTabStop(const DialogItem& item) { return (item.style & style::kTabStop) != 0; }
