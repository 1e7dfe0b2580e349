#include "ui/qt/paint_pacer.h"

#include <QEvent>
#include <QWidget>
#include <utility>

#include "ui/common/reading_pace.h"

PaintPacer::PaintPacer(QWidget* window, std::function<void()> apply)
    : QObject(window), window_(window), apply_(std::move(apply)) {
  timer_.setInterval(kReadingPaceMs);
  connect(&timer_, &QTimer::timeout, this, [this] { apply_(); });
  window_->installEventFilter(this);
}

void PaintPacer::Start() {
  started_ = true;
  Follow();
}

void PaintPacer::Stop() {
  started_ = false;
  timer_.stop();
}

bool PaintPacer::InView() const { return window_->isVisible() && !window_->isMinimized(); }

bool PaintPacer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_) {
    switch (event->type()) {
      // Shown comes before the first picture; a window system's minimise and restore
      // arrive as state changes with spontaneous hides and shows.
      case QEvent::Show:
      case QEvent::Hide:
      case QEvent::WindowStateChange: Follow(); break;
      default: break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void PaintPacer::Follow() {
  if (!started_ || !InView()) {
    timer_.stop();
    return;
  }
  if (timer_.isActive()) return;
  apply_();
  timer_.start();
}
