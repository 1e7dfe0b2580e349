#include "client/miner_core.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "core/checked_math.h"
#include "core/fixed_text.h"
#include "dashboard/dashboard_render.h"
#include "exchange/amount_scramble.h"
#include "exchange/machine_info.h"
#include "exchange/request_urls.h"
#include "exchange/status_reply.h"
#include "exchange/url_fetcher.h"
#include "mining/mining_step.h"
#include "mining/worker_timer.h"
#include "platform/install_folder.h"
#include "platform/private_folder.h"
#include "platform/written_file.h"
#include "profile/identity.h"
#include "profile/profile.h"
#include "update/self_update.h"

namespace {
const char kServerDisconnected[] = "Server Disconnected...\r\n";

// Only a hint hangs on this: a root whose host is this machine's loopback.
bool IsLoopbackRoot(const std::string& root) {
  const std::size_t schemeEnd = root.find("://");
  if (schemeEnd == std::string::npos) return false;
  std::string host = root.substr(schemeEnd + 3);
  host = host.substr(0, host.find('/'));
  if (host.rfind("[::1]", 0) == 0) return true;
  host = host.substr(0, host.find(':'));
  return host == "localhost" || host.rfind("127.", 0) == 0;
}

// Reads a reply that arrived complete with a 2xx status, from the very file the fetch
// wrote; false (nothing read counts) when the file was changed or replaced meanwhile.
template <class Reply, class ReadFn>
bool ReadAnswer(const UrlFetcher& fetcher, const std::string& path, ReadFn read, Reply& reply) {
  const FetchOutcome& outcome = fetcher.Outcome();
  if (!outcome.Complete2xx() || !IsWrittenFile(path, outcome.file)) return false;
  reply = read(path.c_str());
  return IsWrittenFile(path, outcome.file);
}
}  // namespace

MinerCore::MinerCore(const ClientEnvironment& env, WindowLayer& window)
    : env_(env), window_(window), updateGate_(BuiltClientVersion()) {}

MinerCore::~MinerCore() {
  // The worker uses the record and the window layer: it must be gone before they are.
  Stop();
}

MachineState MinerCore::Snapshot() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return state_;
}

// ---- dashboard and log panes ----

void MinerCore::RefreshDashboard() {
  DashboardView view;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    RenderDashboard(state_, view);
    window_.ShowDashboard(view);  // under the lock: see Step
  }
}

void MinerCore::AppendLog(LogPane pane, const char* text) { window_.AppendToPane(pane, text); }

// ---- session ----

void MinerCore::StartSession() {
  env_.random->Seed(static_cast<uint32_t>(env_.clock->CalendarSeconds()));
  AppendLog(LogPane::kEvent, "Initialize..\r\n");
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ClearDownloadedBlock(state_);
  }
  AppendLog(LogPane::kEvent, "Downloading Machine Information..\r\n");
  LoadMachineInfo();

  char name[sizeof(MachineState::machineName)];
  bool mining = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    mining = state_.onOff == 1;
    CopyText(name, TextOf(state_.machineName));
  }
  if (mining) {
    AppendLog(LogPane::kEvent, name);
    AppendLog(LogPane::kEvent, " Start Mining..\r\n");
  }
  // The notice says the client is up, not that it mines: always 1.
  SendPowerState(1);
  StartWorker();
}

void MinerCore::ToggleMining() {
  char name[sizeof(MachineState::machineName)];
  bool nowMining = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    nowMining = state_.onOff != 1;
    state_.onOff = nowMining ? 1 : 0;
    CopyText(name, TextOf(state_.machineName));
  }
  AppendLog(LogPane::kEvent, name);
  AppendLog(LogPane::kEvent, nowMining ? " Start Mining..\r\n" : " Stop Mining..\r\n");
  window_.SetControlText(kIdStartStop, nowMining ? "Stop" : "Start");
}

void MinerCore::EndSession() {
  // The machine says it goes down only once it has: the worker is stopped (a transfer
  // under way is aborted) before the notice, so no step, report or update follows it.
  Stop();
  SendPowerState(0);
  ReleaseSocketLayer();
  std::this_thread::sleep_for(env_.closingPause);
}

std::string NoAnswerAtStartUpText(const std::string& serviceRoot) {
  std::string text = "no answer from the mining service at " + serviceRoot + " at start-up; mining stays off";
  if (IsLoopbackRoot(serviceRoot)) {
    text += ". The local service starts with: systemctl --user start mining-service";
  }
  return text;
}

// ---- exchanges ----

void MinerCore::LoadMachineInfo() {
  char serial[sizeof(MachineState::serialNo)];
  const std::string mac = env_.macText();
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ReadConfiguration(env_.installDir, state_);
    CopyText(state_.macText, mac);
    CopyText(serial, TextOf(state_.serialNo));
  }
  // The request still goes out, as the machine has nothing else to ask with; the user
  // hears which file and line are missing.
  if (const std::string missing = MissingSerialNumberText(env_.installDir, serial); !missing.empty()) {
    env_.debug->Warn(missing.c_str());
  }
  const std::string url = MachineInfoUrl(env_.serviceRoot, serial, mac.c_str());

  UrlFetcher fetcher;
  OpenExchange(fetcher, env_.replyLimits, true);
  const bool folderOk = FetchReply(fetcher, url, kMachineInfoReply);
  // Parsed without the lock: Start/Stop never waits for it.
  MachineInfoReply reply;
  if (folderOk &&
      ReadAnswer(fetcher, ReplyReadPath(env_.tempDir, kMachineInfoReply), ReadMachineInfoReply, reply)) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    ApplyMachineInfoReply(state_, reply);
  } else {
    // No answer, or an error page: nothing is read, the cleared record stays. The event
    // log says so in the window; a user who started the program from a terminal hears it
    // too, with the command that starts the local service (the debug output itself stays
    // off unless asked for).
    AppendLog(LogPane::kEvent, kServerDisconnected);
    env_.debug->Warn(NoAnswerAtStartUpText(env_.serviceRoot).c_str());
  }
  RefreshDashboard();
  fetcher.CloseSession();
}

void MinerCore::SendPowerState(int state) {
  char serial[sizeof(MachineState::serialNo)];
  const std::string mac = env_.macText();
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    CopyText(state_.macText, mac);
    CopyText(serial, TextOf(state_.serialNo));
  }
  const std::string url = PowerStateUrl(env_.serviceRoot, serial, mac.c_str(), state);
  DebugLine(url);

  FetchLimits limits = env_.replyLimits;
  if (state == 0) {
    if (limits.totalTimeout.count() <= 0 || limits.totalTimeout > env_.powerOffTimeout) {
      limits.totalTimeout = env_.powerOffTimeout;
    }
    if (limits.connectTimeout > limits.totalTimeout) limits.connectTimeout = limits.totalTimeout;
  }
  UrlFetcher fetcher;
  OpenExchange(fetcher, limits, false);
  FetchReply(fetcher, url, kPowerStateReply);
  fetcher.CloseSession();
}

void MinerCore::ReportStatus() {
  // The gate: about one call in ten goes on.
  if (env_.random->Draw() % 40 > 3) return;
  counters_.CountReport();

  char amount[512];
  char serial[sizeof(MachineState::serialNo)];
  StatusReportQuery query;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::snprintf(amount, sizeof amount, "%lf", state_.machineKest);
    CopyText(serial, TextOf(state_.serialNo));
    query.exp = state_.exp;
    query.miningPerSec = state_.miningPerSec;
    query.location = state_.location;
  }
  const WallTime now = env_.clock->LocalTime();
  const std::string scrambled = ScrambleAmount(amount, now.hour, now.minute);
  const std::string mac = env_.macText();
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    CopyText(state_.macText, mac);
  }
  query.serialNo = serial;
  query.macText = mac.c_str();
  query.amountText = amount;
  query.scrambledAmount = scrambled.c_str();
  const std::string url = StatusReportUrl(env_.serviceRoot, query);
  DebugLine(url);

  // The exchange runs without the lock, so a Start/Stop click never waits for the network.
  UrlFetcher fetcher;
  OpenExchange(fetcher, env_.replyLimits, true);
  const bool folderOk = FetchReply(fetcher, url, kStatusReply);
  // Only a complete 2xx answer that is a status reply at all (it has the [Machine]
  // section) is applied; a captive portal's 200 page is no answer. It is parsed
  // without the lock, so Start/Stop never waits for it.
  const std::string replyPath = ReplyReadPath(env_.tempDir, kStatusReply);
  std::optional<StatusReply> reply;
  const auto read = [](const char* path) -> std::optional<StatusReply> {
    if (!ProfileSectionExists("Machine", path)) return std::nullopt;
    return ReadStatusReply(path);
  };
  const bool answered = folderOk && ReadAnswer(fetcher, replyPath, read, reply) && reply.has_value();
  // A report the close cut short is no sign of the service: nothing is applied and no
  // "Server Disconnected..." is logged on the way out.
  if (!answered && StopRequested().load()) {
    fetcher.CloseSession();
    return;
  }
  if (!answered) counters_.CountFailedReport();

  StatusReplyEffects effects;
  char fuelText[32];
  std::string offeredVersion;
  std::string clientVersion;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (answered) {
      effects = ApplyStatusReply(state_, *reply);
    } else {
      // Fuel and amount are kept: zeroing them would report a wiped amount next time.
      ApplyMissingStatusReply(state_);
      effects.switchOff = true;
    }
    FormatFuelText(fuelText, state_.fuel, state_.level);
    if (effects.wantsUpdate) {
      offeredVersion = state_.serverVersion;
      clientVersion = state_.clientVersion;
    }
  }
  window_.SetControlText(kIdFuel, fuelText);
  if (effects.switchOff) AppendLog(LogPane::kEvent, kServerDisconnected);
  if (effects.wantsUpdate && UpdateWanted(offeredVersion, clientVersion)) {
    counters_.CountUpdateAttempt();
    PrepareInstallFolder(env_.installDir);
    SelfUpdateRequest update;
    update.installDir = env_.installDir;
    update.patchRoot = env_.patchRoot;
    update.offeredVersion = offeredVersion;
    update.publicKey = env_.updatePublicKey;
    update.launcher = env_.launcher;
    update.debug = env_.debug;
    update.abort = &StopRequested();
    update.caBundle = env_.caBundle;
    updateGate_.Record(offeredVersion, RunSelfUpdate(update));
  }
  RefreshDashboard();
  fetcher.CloseSession();
}

bool MinerCore::UpdateWanted(const std::string& offered, const std::string& clientVersion) {
  const UpdateGate::Verdict verdict = updateGate_.Check(offered, clientVersion);
  if (verdict == UpdateGate::Verdict::kNotNewer) {
    // Said once per offered version: the gate remembers it as refused.
    env_.debug->Write(("Self-update: version " + offered + " is not newer than " +
                       updateGate_.CurrentVersion(clientVersion) + "; nothing is downloaded\r\n")
                          .c_str());
  }
  return verdict == UpdateGate::Verdict::kFetch;
}

bool MinerCore::FetchReply(UrlFetcher& fetcher, const std::string& url, const char* name) {
  // In a folder others can reach, the reply could be redirected, blocked or rewritten:
  // the request still goes out, its answer is dropped unread.
  const std::string problem = PrivateFolderProblem(env_.tempDir);
  const bool folderOk = problem.empty();
  if (!folderOk)
    DebugLine("reply folder is not private, answer dropped: " + env_.tempDir + " (" + problem + ")");
  const std::string destination = ReplyDownloadPath(env_.tempDir, name);
  fetcher.FetchToFile(url.c_str(), folderOk ? destination.c_str() : nullptr);
  return folderOk;
}

void MinerCore::OpenExchange(UrlFetcher& fetcher, const FetchLimits& limits, bool abortable) {
  fetcher.SetCaBundle(env_.caBundle);
  fetcher.SetLimits(limits);
  if (abortable) fetcher.SetAbortFlag(&worker_.StopRequested());
  fetcher.OpenSession();
}

void MinerCore::DebugLine(const std::string& text) {
  // Two writes, as the platform's debug output receives them.
  env_.debug->Write(text.c_str());
  env_.debug->Write("\r\n");
}

// ---- mining ----

void MinerCore::MiningStep() { Step(false); }

void MinerCore::Step(bool onlyWhileMining) {
  DashboardView view;
  char block[kMiningBlockSize];
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (onlyWhileMining && state_.onOff != 1) return;
    const WallTime now = env_.clock->LocalTime();
    const double amount = AdvanceMining(state_, now.second, env_.random->Draw());
    counters_.CountStep();
    RenderDashboard(state_, view);
    FormatMiningBlock(block, env_.clock->TickCount(), amount, *env_.random);
    // Published under the lock, so a Start/Stop click (which flips the switch under the
    // same lock and then sets its caption) always comes after this step's caption.
    // Publishing never waits for the window, so the lock is held only briefly.
    window_.ShowDashboard(view);
  }
  AppendLog(LogPane::kMining, block);
}

void MinerCore::WorkerPass() {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (state_.onOff != 1) return;
  }
  const WallTime now = env_.clock->LocalTime();
  if (now.millisecond < 5 && now.minute % 3 == 0) {
    ReportStatus();
    return;
  }
  if (now.millisecond == 100) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    state_.exp = WrapAdd(state_.exp, state_.expGain);
    state_.expGain = 0;
  }
  Step(true);
}

void MinerCore::Run() {
  // Wake as each millisecond of the clock the step reads begins, so every millisecond
  // (among them millisecond 100 and the report window's first five) gets its pass. The
  // wait runs on the monotonic clock. The stop signals the event and clears `running`,
  // which is tested as well, since a pass under way cannot see the signal.
  auto passStart = std::chrono::steady_clock::now();
  while (Running()) {
    passStart =
        NextPassStart(std::chrono::steady_clock::now(), passStart, env_.clock->MicrosecondOfMillisecond());
    if (worker_.WaitForWakeUntil(passStart)) return;
    if (!Running()) return;
    WorkerPass();
    workerPasses_.fetch_add(1, std::memory_order_relaxed);
    worker_.ResetWake();
  }
}
