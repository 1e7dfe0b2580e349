#pragma once
// A whole client without a window: a MinerCore on a recording window, a clock and a
// generator the test sets, a captured debug output and sandboxed install and temp folders.
#include <memory>
#include <string>

#include "client/miner_core.h"
#include "client/recording_window.h"
#include "support/fixed_clock.h"
#include "support/sandbox.h"
#include "support/scripted_random.h"

class ClientFixture {
 public:
  // caBundle: the authorities https:// roots must chain to; empty: the system's store.
  explicit ClientFixture(const std::string& serviceRoot, const std::string& patchRoot = "",
                         const std::string& caBundle = "");

  // Writes config.ini into the install folder.
  void WriteConfig(const std::string& serial, const std::string& version);
  std::string ConfigText() const;
  std::string InstallDir() const { return install_; }
  std::string TempDir() const { return temp_; }
  std::string TempFile(const std::string& name) const { return temp_ + name; }

  MinerCore& Core() { return *core_; }

  // Makes the worker's next pass a report that passes its gate once, at hh:mm:07.002. See
  // the definition for why the gate's draw is queued only after the clock has moved.
  void NextPassReports(int hour = 12, int minute = 3);
  // Builds the client again from `env`, for a test that changed it (before any session).
  void RebuildCore();

  Sandbox box;
  FixedClock clock{12, 4, 7, 500};
  ScriptedRandom random{4};  // closed report gate unless a test queues draws
  RecordingDebugOutput debug;
  SpawnLauncher launcher;
  RecordingWindow window;
  ClientEnvironment env;

 private:
  std::string install_;
  std::string temp_;
  std::unique_ptr<MinerCore> core_;
};
