// replace_client.exe: the installer's hands inside the install folder, where a client may
// be running.
//
//   replace_client prepare <folder>  creates the folder, if missing, with the access list
//                                    the client gives it (the user, SYSTEM, Administrators)
//   replace_client replace <folder>  puts QX_CLIENT.exe.new in place of QX_CLIENT.exe
//   replace_client close <folder>    closes the clients running from the folder
//
// Exit code 0 when done; 3 when replace is done and has started the new program in place
// of a running one; 1 when it failed (for replace: with the old program back in place and
// running again if it was running); 2 for a wrong command line.
//
// replace: Windows lets a running program's file be renamed but not replaced, so the
// running QX_CLIENT.exe is renamed to QX_CLIENT.exe.old, the new one takes its name, and
// only then are the running clients asked to close as a user would (WM_CLOSE: each sends
// its power-off notice and pauses). Once they have ended the new program is started, and
// it counts as started when its window shows or it is still running after the wait.
// Whatever fails, the old program is put back and started again: the machine is never
// left without a client.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "platform/install_folder.h"
#include "running_clients.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kRestarted = 3;

// The client's close takes its power-off notice (at most 5 s) and a 2 s pause.
constexpr DWORD kCloseWaitMs = 30000;
// A program that cannot run ends at once; a sound one shows its window once its first
// exchange with the service is done, which may take up to a minute without a network.
constexpr DWORD kStartWaitMs = 90000;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Starts `program` in `folder`; the process's handle goes to `process` (or nullptr).
bool Start(const std::wstring& program, const std::wstring& folder, HANDLE* process) {
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  if (process != nullptr) {
    *process = started.hProcess;
  } else {
    CloseHandle(started.hProcess);
  }
  return true;
}

// Whether the process just started comes up: its window shows, or it is still running
// when the wait is over. A program that ends before is no client.
bool CameUp(HANDLE process) {
  const DWORD processId = GetProcessId(process);
  const DWORD started = GetTickCount();
  while (GetTickCount() - started < kStartWaitMs) {
    if (WaitForSingleObject(process, 200) == WAIT_OBJECT_0) return false;
    if (HasClientWindow(processId)) return true;
  }
  return true;
}

int Replace(const std::wstring& folder) {
  const std::wstring program = folder + L"\\QX_CLIENT.exe";
  const std::wstring staged = program + L".new";
  const std::wstring aside = program + L".old";
  if (!Exists(staged)) return kFailed;

  const std::vector<RunningClient> running = FindRunningClients(folder);
  // Left by an earlier update whose old program was still locked; if it still is, this
  // update waits for another day.
  DeleteFileW(aside.c_str());
  const bool hadProgram = Exists(program);
  if (hadProgram && !MoveFileExW(program.c_str(), aside.c_str(), 0)) return kFailed;  // nothing changed
  if (!MoveFileExW(staged.c_str(), program.c_str(), 0)) {
    if (hadProgram) MoveFileExW(aside.c_str(), program.c_str(), 0);
    return kFailed;
  }
  if (running.empty()) {
    DeleteFileW(aside.c_str());
    return kDone;
  }

  CloseClients(running, kCloseWaitMs);
  HANDLE process = nullptr;
  const bool started = Start(program, folder, &process);
  if (started && CameUp(process)) {
    CloseHandle(process);
    // The old program's process has ended, so its file is normally free; if not, the
    // next installer run removes it.
    DeleteFileW(aside.c_str());
    return kRestarted;
  }

  // The new program does not run: the old one goes back and starts again.
  if (process != nullptr) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
  if (hadProgram) {
    MoveFileExW(program.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING);
    MoveFileExW(aside.c_str(), program.c_str(), 0);
    DeleteFileW(staged.c_str());
    Start(program, folder, nullptr);
  }
  return kFailed;
}

int Close(const std::wstring& folder) {
  CloseClients(FindRunningClients(folder), kCloseWaitMs);
  return FindRunningClients(folder).empty() ? kDone : kFailed;
}

int Prepare(const std::wstring& folder) {
  // The install folder is an ANSI path to the client (c:\KESTRAVON).
  char ansi[MAX_PATH] = {};
  if (WideCharToMultiByte(CP_ACP, 0, folder.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr) == 0)
    return kFailed;
  PrepareInstallFolder(ansi);
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? kDone
                                                                                               : kFailed;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3 || argv[2][0] == L'\0') return kUsage;
  const std::wstring command = argv[1];
  std::wstring folder = argv[2];
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  LocalFree(argv);
  if (command == L"prepare") return Prepare(folder);
  if (command == L"replace") return Replace(folder);
  if (command == L"close") return Close(folder);
  return kUsage;
}
