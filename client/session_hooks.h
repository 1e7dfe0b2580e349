#pragma once
// What the window asks of the client: the three session operations and the final stop
// of the worker. The window calls them on its own thread.
class SessionHooks {
 public:
  virtual ~SessionHooks() = default;
  virtual void StartSession() = 0;  // in the window's initialisation, before it is shown
  virtual void ToggleMining() = 0;  // the Start/Stop button
  virtual void EndSession() = 0;    // while the window is destroyed; stops the worker first
  virtual void StopWorker() = 0;    // after the window has gone
};
