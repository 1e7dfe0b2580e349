#include "running_clients.h"

#include <cwchar>

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kCaptionPrefix[] = L"KESTRAVON MINER V2";

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

// The folder as a full path without a trailing separator.
std::wstring FullFolder(const std::wstring& folder) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameW(folder.c_str(), MAX_PATH * 2, buffer, nullptr);
  std::wstring full = (length > 0 && length < MAX_PATH * 2) ? std::wstring(buffer, length) : folder;
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

// The folder of the program that process `processId` runs, or "" when it cannot be learnt.
std::wstring ProgramFolderOf(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return L"";
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  const bool known = QueryFullProcessImageNameW(process, 0, path, &size) != 0;
  CloseHandle(process);
  if (!known) return L"";
  std::wstring folder(path, size);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"" : FullFolder(folder.substr(0, slash));
}

bool IsClientDialog(HWND window) {
  wchar_t className[16] = {};
  if (GetClassNameW(window, className, 16) == 0 || std::wcscmp(className, kDialogClass) != 0) return false;
  wchar_t caption[128] = {};
  GetWindowTextW(window, caption, 128);
  return std::wcsncmp(caption, kCaptionPrefix, std::wcslen(kCaptionPrefix)) == 0;
}

struct Search {
  std::wstring folder;  // empty: any folder
  DWORD processId = 0;  // 0: any process
  std::vector<RunningClient> found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  Search& search = *reinterpret_cast<Search*>(context);
  if (!IsClientDialog(window)) return TRUE;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (search.processId != 0 && processId != search.processId) return TRUE;
  if (!search.folder.empty() && !SameText(ProgramFolderOf(processId), search.folder)) return TRUE;
  for (const RunningClient& known : search.found) {
    if (known.processId == processId) return TRUE;
  }
  search.found.push_back({window, processId});
  return TRUE;
}

}  // namespace

std::vector<RunningClient> FindRunningClients(const std::wstring& folder) {
  Search search;
  search.folder = FullFolder(folder);
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool HasClientWindow(DWORD processId) {
  Search search;
  search.processId = processId;
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return !search.found.empty();
}

bool CloseClients(const std::vector<RunningClient>& clients, DWORD waitMs) {
  std::vector<HANDLE> processes;
  for (const RunningClient& client : clients) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, client.processId);
    if (process == nullptr) continue;  // already gone
    processes.push_back(process);
    PostMessageW(client.window, WM_CLOSE, 0, 0);
  }
  bool allClosed = true;
  const DWORD deadline = GetTickCount() + waitMs;
  for (HANDLE process : processes) {
    const DWORD now = GetTickCount();
    const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
    if (WaitForSingleObject(process, left) != WAIT_OBJECT_0) {
      allClosed = false;
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 10000);
    }
    CloseHandle(process);
  }
  return allClosed;
}
