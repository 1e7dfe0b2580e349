#include "ui/qt/resource_images.h"

#include "ui/common/dialog_template.h"

// The images live in this static library; make sure they are registered before use.
static void RegisterResources() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(kestravon);
    return true;
  }();
  (void)registered;
}

QIcon MainIcon() {
  RegisterResources();
  QIcon icon;
  for (int size : {16, 24, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/kestravon/icon_%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QPixmap ResourceBitmap(int id) {
  RegisterResources();
  if (id == kBannerBitmapResource) return QPixmap(QStringLiteral(":/kestravon/banner_130.png"));
  return {};
}

QIcon ResourceIcon(int id) {
  if (id == kMainIconResource) return MainIcon();
  return {};
}
