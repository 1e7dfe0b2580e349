#pragma once
// Carries out what the worker published at a reading pace (ui/common/reading_pace.h), and only
// while the window can be seen: while it is hidden or minimised nothing is applied, so
// nothing is laid out or painted; the delivery keeps just the newest state meanwhile
// (the newest view, the panes' tails under the pane rule), and it is applied at once
// when the window comes back, before its first picture.
#include <QObject>
#include <QTimer>
#include <functional>

class QWidget;

class PaintPacer final : public QObject {
 public:
  // `apply` carries out everything pending; it runs on the window's thread.
  PaintPacer(QWidget* window, std::function<void()> apply);

  // Pacing starts (the window's state decides whether the timer runs) or ends for good.
  void Start();
  void Stop();
  // Shown and not minimised: what the worker changes is applied and painted.
  bool InView() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Runs the timer while the window is in view; a window that comes into view gets
  // everything pending at once.
  void Follow();

  QWidget* window_;
  std::function<void()> apply_;
  QTimer timer_;
  bool started_ = false;
};
