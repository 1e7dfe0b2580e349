#pragma once
// Dialog templates as data: each item's window class, style bits, text and rectangle in
// dialog units, in template order. Template order is also the order Tab moves the focus
// through the items that have a tab stop, and the stacking order (first item on top).
#include <cstdint>
#include <span>

// Style bits the window reads from a template.
namespace style {
constexpr std::uint32_t kTabStop = 0x00010000;  // WS_TABSTOP
constexpr std::uint32_t kGroup = 0x00020000;    // WS_GROUP
constexpr std::uint32_t kThickFrame = 0x00040000;
constexpr std::uint32_t kVScroll = 0x00200000;
constexpr std::uint32_t kHScroll = 0x00100000;
constexpr std::uint32_t kButtonTypeMask = 0x0F;
constexpr std::uint32_t kPushButton = 0x0;
constexpr std::uint32_t kDefPushButton = 0x1;
constexpr std::uint32_t kAutoCheckBox = 0x3;
constexpr std::uint32_t kGroupBox = 0x7;
constexpr std::uint32_t kAutoRadioButton = 0x9;
constexpr std::uint32_t kEditMultiLine = 0x0004;
constexpr std::uint32_t kEditAutoHScroll = 0x0080;
constexpr std::uint32_t kEditReadOnly = 0x0800;
constexpr std::uint32_t kEditWantReturn = 0x1000;
constexpr std::uint32_t kComboTypeMask = 0x3;
constexpr std::uint32_t kComboDropDown = 0x2;
constexpr std::uint32_t kComboSort = 0x100;
constexpr std::uint32_t kStaticTypeMask = 0x1F;
constexpr std::uint32_t kStaticLeft = 0x0;
constexpr std::uint32_t kStaticIcon = 0x3;
constexpr std::uint32_t kStaticBitmap = 0xE;
constexpr std::uint32_t kStaticNoPrefix = 0x80;
}  // namespace style

enum class ItemClass { kButton, kEdit, kStatic, kComboBox };

// What an item is, read from its class and style.
enum class ItemKind {
  kEdit,
  kMultiLineEdit,
  kComboBox,
  kPushButton,
  kDefPushButton,
  kCheckBox,
  kRadioButton,
  kGroupBox,
  kStaticText,
  kPicture,
  kIcon,
};

constexpr int kNoId = -1;

struct DialogItem {
  int id;  // kNoId for labels, group boxes and the picture
  ItemClass itemClass;
  std::uint32_t style;
  const char* text;  // UTF-8
  int resource;      // the bitmap or icon a picture or icon shows, else 0
  int x, y, cx, cy;  // dialog units
};

// Items a combo box receives when the window is created (the template's init data).
struct ComboInitData {
  int id;
  std::span<const char* const> items;
};

struct DialogTemplate {
  int id;
  const char* title;
  int cx, cy;  // client size in dialog units
  const char* fontFace;
  int pointSize;
  std::uint32_t style;
  std::span<const DialogItem> items;
  std::span<const ComboInitData> comboInit;
};

ItemKind KindOf(const DialogItem& item);
bool HasTabStop(const DialogItem& item);

// The resources, kept in ui/resources/.
const DialogTemplate& MainDialogTemplate();   // template 102
const DialogTemplate& AboutDialogTemplate();  // template 100
const char* AboutCommandText();               // string 101
constexpr int kMainIconResource = 128;
constexpr int kBannerBitmapResource = 130;
constexpr int kAboutCommandId = 0x10;
