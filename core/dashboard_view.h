#pragma once
// One rendering of the dashboard: the texts of every field, in the order they are
// written, plus the radio position, the check state and the button caption.
// Plain fixed-size data, so a worker can hand a copy to the window without allocating.

// A formatted number goes through a 32-byte buffer, so it holds at most 31 bytes; a text
// field is shown as it is stored, the longest (the sector name) holding 255 bytes.
constexpr int kDashboardNumberTextSize = 32;
constexpr int kDashboardFieldTextSize = 256;
constexpr int kDashboardTextFields = 45;
// The first 25 text fields are written before the radio group and the check box,
// the other 20 after them; the caption comes last.
constexpr int kDashboardFieldsBeforeRadio = 25;

struct DashboardField {
  int controlId = 0;
  char text[kDashboardFieldTextSize] = {};
};

struct DashboardView {
  DashboardField fields[kDashboardTextFields];
  int targetCoinPosition = 0;  // 0..4 checks that button; anything else clears all five
  int autoChargeCheck = 0;     // handed to the check box unchanged
  char caption[8] = {};        // "START" or "STOP"
};
