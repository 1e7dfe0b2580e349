#pragma once
// The dialog on a screen smaller than itself: a 1258x775 window on a 1366x768 laptop with
// a title bar and a panel loses its bottom rows. Then its contents go into a scroll area
// of the size the screen leaves; every control keeps its place, only the view scrolls.
#include <QSize>

class QWidget;

// The room the screen of `dialog` leaves for its client area: the available geometry
// (without panels) less the title bar.
QSize RoomOnScreen(const QWidget& dialog);

// When `dialog` (not yet shown) is larger than `room` in either direction, moves its
// children into a scroll area that fills it and shrinks it to fit (leaving room for the
// one scroll bar needed where the other direction fits); Tab keeps its order.
// Returns whether it did.
bool ScrollWhenLargerThan(QWidget& dialog, const QSize& room);
