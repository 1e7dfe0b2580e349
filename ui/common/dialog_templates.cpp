// Dialog templates 100 and 102, string 101 and the combo box's init data, as the window
// system would read them from the program's resources.
#include "ui/common/dialog_template.h"
#include "ui/resources/client_version.h"

namespace {

constexpr std::uint32_t kEditStyle = 0x50810080;        // border, tab stop, auto h-scroll
constexpr std::uint32_t kLogPaneStyle = 0x508110C4;     // multi-line, wants Enter
constexpr std::uint32_t kComboStyle = 0x50210102;       // drop-down, sorted
constexpr std::uint32_t kButtonStyle = 0x50010000;      // push button, tab stop
constexpr std::uint32_t kCheckStyle = 0x50010003;       // auto check box, tab stop
constexpr std::uint32_t kFirstRadioStyle = 0x50020009;  // auto radio, starts the group
constexpr std::uint32_t kRadioStyle = 0x50000009;
constexpr std::uint32_t kGroupBoxStyle = 0x50000007;
constexpr std::uint32_t kStaticStyle = 0x50020000;   // left-aligned, wrapped
constexpr std::uint32_t kPictureStyle = 0x5000000E;  // bitmap at its own size

constexpr DialogItem Edit(int id, int x, int y, int cx, int cy) {
  return {id, ItemClass::kEdit, kEditStyle, "", 0, x, y, cx, cy};
}
constexpr DialogItem LogPane(int id, int x, int y, int cx, int cy) {
  return {id, ItemClass::kEdit, kLogPaneStyle, "", 0, x, y, cx, cy};
}
constexpr DialogItem Button(int id, const char* text, int x, int y, int cx, int cy) {
  return {id, ItemClass::kButton, kButtonStyle, text, 0, x, y, cx, cy};
}
constexpr DialogItem Label(const char* text, int x, int y, int cx, int cy) {
  return {kNoId, ItemClass::kStatic, kStaticStyle, text, 0, x, y, cx, cy};
}
constexpr DialogItem Static(int id, const char* text, int x, int y, int cx, int cy) {
  return {id, ItemClass::kStatic, kStaticStyle, text, 0, x, y, cx, cy};
}
constexpr DialogItem Radio(int id, std::uint32_t style, const char* text, int x, int y, int cx, int cy) {
  return {id, ItemClass::kButton, style, text, 0, x, y, cx, cy};
}
constexpr DialogItem GroupBox(const char* text, int x, int y, int cx, int cy) {
  return {kNoId, ItemClass::kButton, kGroupBoxStyle, text, 0, x, y, cx, cy};
}

// Template 102. The radio group stands first; then each field with its label, in the
// order Tab visits the fields; the decorations (group boxes, notes, picture) come last.
constexpr DialogItem kMainItems[] = {
    Radio(1041, kFirstRadioStyle, "KEST", 16, 296, 28, 8),
    Radio(1042, kRadioStyle, "BTC", 47, 296, 26, 8),
    Radio(1043, kRadioStyle, "ETH", 76, 296, 27, 8),
    Radio(1044, kRadioStyle, "BNB", 105, 296, 24, 8),
    Radio(1045, kRadioStyle, "ALL", 133, 296, 24, 8),
    // Client Information
    Label("Serial Number :", 15, 20, 52, 11),
    Edit(1003, 69, 18, 94, 12),
    Label("Mac Address :", 15, 37, 49, 11),
    Edit(1004, 69, 35, 94, 12),
    Label("Machine Name : ", 15, 53, 51, 11),
    Edit(1008, 69, 51, 94, 12),
    Label("Client Version :", 15, 68, 50, 11),
    Edit(1009, 69, 66, 94, 12),
    Label("Server Version :", 15, 83, 50, 11),
    Edit(1010, 69, 81, 94, 12),
    // MARS INFORMATION
    Label("Mars Sector :", 184, 23, 45, 10),
    {1006, ItemClass::kComboBox, kComboStyle, "", 0, 231, 21, 134, 77},
    Label("Acive Users :", 183, 61, 47, 11),
    Edit(1023, 230, 60, 194, 10),
    Label("Active Machine :", 183, 75, 54, 11),
    Edit(1024, 239, 74, 185, 10),
    Label("Total amount of kestravon mining :", 183, 88, 115, 11),
    Edit(1025, 299, 87, 125, 10),
    Label("Mining Kestravon Per Hour ( MKPH ) :", 183, 101, 124, 11),
    Edit(1027, 308, 100, 116, 10),
    Label("Mining Kestravon Per Seconds ( MKPS ) :", 183, 114, 133, 11),
    Edit(1028, 318, 113, 106, 10),
    // MINING INFORMATION
    Label("The Amount of kestravon buried :", 444, 19, 110, 11),
    Edit(1012, 557, 18, 148, 10),
    Label("The Amount of bitcoins buried :", 444, 33, 104, 11),
    Edit(1001, 557, 32, 148, 10),
    Label("The Amount of ethereum buried :", 444, 47, 109, 11),
    Edit(1002, 557, 46, 148, 10),
    Label("The Amount of bnb buried :", 445, 61, 109, 11),
    Edit(1011, 557, 60, 148, 10),
    Label("Kestravon Address :", 446, 75, 69, 11),
    Edit(1019, 524, 74, 181, 10),
    Label("Bitcoin Address :", 446, 87, 54, 11),
    Edit(1020, 503, 87, 202, 10),
    Label("Ethereum Address :", 446, 101, 66, 11),
    Edit(1021, 514, 100, 191, 10),
    Label("Binance Smart Chain :", 446, 114, 70, 11),
    Edit(1022, 522, 113, 183, 10),
    // Machine Information
    Label("Mars Latitude/Longitude :", 14, 158, 83, 11),
    Edit(1013, 98, 157, 65, 12),
    Label("Remaining Fuels :", 13, 175, 55, 11),
    Edit(1014, 69, 174, 94, 12),
    Label("Mining Per Sec :", 12, 220, 55, 11),
    Edit(1015, 69, 219, 94, 12),
    Label("Move Speed  :", 13, 236, 51, 11),
    Edit(1018, 69, 235, 94, 12),
    Label("Machine Level  :", 13, 253, 51, 11),
    Edit(1037, 69, 252, 27, 12),
    Button(1005, "Update", 14, 98, 150, 13),
    Button(1000, "Start", 14, 114, 150, 16),
    Button(1007, "Sector Change", 371, 21, 55, 13),
    Button(1016, "Charge Fuels", 14, 203, 149, 12),
    {1017, ItemClass::kButton, kCheckStyle, "Auto Charge Fuels ( 1 Kest / day )", 0, 15, 191, 148, 8},
    // Wallet Information
    Label("KestraVon Address", 13, 329, 76, 11),
    Edit(1029, 13, 340, 148, 12),
    Label("Bitcoin Address", 13, 354, 76, 11),
    Edit(1030, 13, 365, 148, 12),
    Label("Ethereum Address", 13, 380, 76, 11),
    Edit(1031, 13, 391, 148, 12),
    Label("Binance Smart Chain Address", 13, 406, 98, 11),
    Edit(1032, 13, 417, 148, 12),
    Button(1038, "Machine Level Up", 14, 267, 149, 13),
    LogPane(1046, 419, 193, 293, 115),
    // Wallet Controller
    Label("KEST BALANCE :", 184, 333, 57, 9),
    Edit(1040, 242, 332, 89, 12),
    Static(1065, "Price : 2.00 $", 341, 332, 65, 9),
    Label("BTC BALANCE :", 184, 348, 57, 9),
    Edit(1047, 242, 347, 89, 12),
    Static(1066, "Price : 2.00 $", 341, 348, 65, 9),
    Label("ETH BALANCE :", 184, 363, 57, 9),
    Edit(1048, 242, 361, 89, 12),
    Static(1067, "Price : 2.00 $", 341, 362, 65, 9),
    Label("BNB BALANCE : ", 184, 376, 57, 9),
    Edit(1049, 242, 376, 89, 12),
    Static(1068, "Price : 2.00 $", 341, 377, 65, 9),
    Button(1050, "SEND", 185, 393, 219, 16),
    Button(1051, "SWAP", 185, 413, 218, 16),
    // Machine Coin Information
    Label("Kestravon mining volume :", 181, 204, 88, 9),
    Edit(1052, 271, 203, 97, 12),
    Button(1053, "Transfer", 373, 202, 36, 13),
    Static(1055, "= $ 3,412.323 ", 272, 217, 139, 8),
    Label("Bitcoin mining volume :", 181, 230, 88, 9),
    Edit(1056, 271, 229, 97, 12),
    Button(1057, "Transfer", 373, 228, 36, 13),
    Static(1062, "= $ 3,412.323 ", 272, 243, 139, 8),
    Label("Ethereum mining volume :", 181, 255, 88, 9),
    Edit(1058, 271, 254, 97, 12),
    Button(1059, "Transfer", 373, 253, 36, 13),
    Static(1063, "= $ 3,412.323 ", 272, 268, 139, 8),
    Label("Binance  mining volume :", 181, 280, 88, 9),
    Edit(1060, 271, 279, 97, 12),
    Button(1061, "Transfer", 373, 278, 36, 13),
    Static(1064, "= $ 3,412.323 ", 272, 293, 139, 8),
    LogPane(1054, 419, 321, 293, 115),
    Label("EXP :", 101, 253, 20, 11),
    Edit(1039, 122, 252, 41, 12),
    // Notes, the banner and the group boxes
    Label("If you change the sector, you will move to a new mine.  The cost of changing the "
          "sector is 100 Kest.",
          187, 36, 246, 17),
    Label("Target Coin", 14, 284, 44, 11),
    {kNoId, ItemClass::kStatic, kPictureStyle, "", kBannerBitmapResource, 174, 144, 27, 27},
    GroupBox("Client Information", 7, 7, 162, 130),
    GroupBox("MARS INFORMATION", 174, 7, 255, 130),
    GroupBox("MINING INFORMATION", 434, 7, 278, 130),
    GroupBox("Machine Information", 7, 141, 162, 168),
    GroupBox("Wallet Information", 7, 316, 162, 121),
    GroupBox("Machine Coin Information", 173, 189, 241, 120),
    GroupBox("Wallet Controller", 174, 316, 240, 120),
};

constexpr const char* kSectorNames[] = {"Mare Boreum quadrangle", "Diacria quadrangle"};
constexpr ComboInitData kMainComboInit[] = {{1006, kSectorNames}};

constexpr DialogTemplate kMainTemplate = {
    102, KESTRAVON_WINDOW_CAPTION, 719, 443, "MS Shell Dlg", 9, 0x90CC0048, kMainItems, kMainComboInit};

constexpr DialogItem kAboutItems[] = {
    {kNoId, ItemClass::kStatic, 0x50000003, "", kMainIconResource, 14, 14, 21, 20},
    {kNoId, ItemClass::kStatic, 0x50020080, KESTRAVON_ABOUT_VERSION_TEXT, 0, 42, 14, 114, 8},
    {kNoId, ItemClass::kStatic, 0x50020000, "화성 채굴 기계 클라이언트", 0, 42, 26, 114, 8},
    {1, ItemClass::kButton, 0x50030001, "확인", 0, 113, 41, 50, 14},
};

constexpr DialogTemplate kAboutTemplate = {100, "QX_CLIENT 정보", 170,         62, "MS Shell Dlg",
                                           9,   0x80C800C8,       kAboutItems, {}};

}  // namespace

const DialogTemplate& MainDialogTemplate() { return kMainTemplate; }
const DialogTemplate& AboutDialogTemplate() { return kAboutTemplate; }
const char* AboutCommandText() { return "QX_CLIENT 정보(&A)..."; }
