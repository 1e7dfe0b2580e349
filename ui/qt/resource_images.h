#pragma once
// The images of the program's resources, compiled in through resources/kestravon.qrc.
#include <QIcon>
#include <QPixmap>

QIcon MainIcon();                // icon 128, every size drawn for it
QPixmap ResourceBitmap(int id);  // bitmap 130 (the banner); a null pixmap for another id
QIcon ResourceIcon(int id);      // icon 128; a null icon for another id
