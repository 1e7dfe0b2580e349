#include "ui/screen_fit.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

QSize RoomOnScreen(const QWidget& dialog) {
  const QScreen* screen = dialog.screen() != nullptr ? dialog.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return QSize();
  const QSize available = screen->availableGeometry().size();
  // The window manager's frame is not known before the window is shown; the style's
  // title bar stands in for it.
  const int titleBar = dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dialog);
  return QSize(available.width(), available.height() - titleBar);
}

bool ScrollWhenLargerThan(QWidget& dialog, const QSize& room) {
  const QSize whole = dialog.size();
  if (!room.isValid() || (whole.width() <= room.width() && whole.height() <= room.height())) return false;

  // The Tab order as it stands: moving a widget to another parent appends it to the
  // focus chain, so the order is put back afterwards.
  QList<QPointer<QWidget>> tabOrder;
  for (QWidget* w = dialog.nextInFocusChain(); w != nullptr && w != &dialog; w = w->nextInFocusChain()) {
    tabOrder.append(w);
  }

  auto* scroll = new QScrollArea(&dialog);
  scroll->setObjectName(QStringLiteral("screenFitScroll"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setFocusPolicy(Qt::NoFocus);  // Tab visits the controls only
  scroll->setWidgetResizable(false);
  scroll->viewport()->setBackgroundRole(QPalette::Window);
  auto* content = new QWidget;
  content->setObjectName(QStringLiteral("screenFitContent"));
  content->resize(whole);  // the template's size: no control moves

  // In stacking order, so the order in which they overlap stays as it was.
  const QObjectList children = dialog.children();
  for (QObject* child : children) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget == nullptr || widget == scroll || widget->isWindow()) continue;
    const bool hidden = widget->testAttribute(Qt::WA_WState_ExplicitShowHide) && widget->isHidden();
    const QRect placed = widget->geometry();
    widget->setParent(content);
    widget->setGeometry(placed);
    if (!hidden) widget->show();
  }
  scroll->setWidget(content);

  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll);

  for (int i = 1; i < tabOrder.size(); ++i) {
    if (tabOrder[i - 1] && tabOrder[i]) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }
  dialog.resize(whole.boundedTo(room));
  return true;
}
