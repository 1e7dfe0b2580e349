#include "ui/qt/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QWidget>

namespace {

// Keeps the scroll area over the whole dialog as it is resized. No layout: a layout would
// hand the window manager size hints of its own, and the dialog has none.
class FillParent final : public QObject {
 public:
  FillParent(QWidget& parent, QWidget& child) : QObject(&child), child_(child) {
    parent.installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) child_.setGeometry(static_cast<QWidget*>(watched)->rect());
    return false;
  }

 private:
  QWidget& child_;
};

}  // namespace

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
  // focus chain, so the order is put back afterwards (setTabOrder passes over widgets
  // that take no focus, so only the others are kept).
  QList<QPointer<QWidget>> tabOrder;
  for (QWidget* w = dialog.nextInFocusChain(); w != nullptr && w != &dialog; w = w->nextInFocusChain()) {
    if (w->focusPolicy() != Qt::NoFocus) tabOrder.append(w);
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

  new FillParent(dialog, *scroll);

  for (int i = 1; i < tabOrder.size(); ++i) {
    if (tabOrder[i - 1] && tabOrder[i]) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
  }
  // Room for the scroll bar that appears, so that the other one need not.
  const int bar = dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
  QSize fitted = whole;
  if (whole.height() > room.height()) fitted.rwidth() += bar;
  if (whole.width() > room.width()) fitted.rheight() += bar;
  dialog.resize(fitted.boundedTo(room));
  scroll->setGeometry(dialog.rect());
  return true;
}
