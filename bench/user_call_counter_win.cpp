#include "user_call_counter_win.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>

// The thunks below are x86-64 code, as the Windows build is.
static_assert(sizeof(void*) == 8, "the counting thunks are x86-64 code");

namespace {

std::atomic<uint64_t> paintMessages{0};
std::atomic<uint64_t> timerMessages{0};
// Looked up directly, so that the subclass's own calls are not counted as the window's.
using CallWindowProcFunction = LRESULT(WINAPI*)(WNDPROC, HWND, UINT, WPARAM, LPARAM);
CallWindowProcFunction callOriginal = nullptr;
// Each watched window's own procedure. Filled completely before the first window is
// subclassed and never changed after, so the window's thread reads it without a lock.
std::unordered_map<HWND, WNDPROC>* originals = nullptr;

LRESULT CALLBACK CountMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) paintMessages.fetch_add(1, std::memory_order_relaxed);
  if (message == WM_TIMER) timerMessages.fetch_add(1, std::memory_order_relaxed);
  return callOriginal(originals->at(window), window, message, wParam, lParam);
}

bool CountedLibrary(const char* name) {
  return _stricmp(name, "user32.dll") == 0 || _stricmp(name, "gdi32.dll") == 0;
}

}  // namespace

// One import's thunk: 32 bytes of code followed by its counter and the function's
// address, which the code reaches relative to itself.
struct UserCallCounter::Thunk {
  unsigned char code[32];
  volatile uint64_t count;
  void* target;
};

UserCallCounter::~UserCallCounter() {
  // The thunks and the subclassing stay: the import table and the windows, should any be
  // left, point at them until the program ends.
}

bool UserCallCounter::Install() {
  auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return false;

  // First the slots to patch, then one block of thunks for all of them.
  struct Slot {
    void** entry;
    std::string name;
  };
  std::vector<Slot> slots;
  for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name != 0;
       ++d) {
    if (!CountedLibrary(reinterpret_cast<const char*>(base + d->Name))) continue;
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk));
    auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++entries) {
      std::string name = "#ordinal";
      if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
        name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
      }
      slots.push_back(Slot{reinterpret_cast<void**>(&entries->u1.Function), std::move(name)});
    }
  }
  if (slots.empty()) return false;
  thunks_ = static_cast<Thunk*>(
      VirtualAlloc(nullptr, sizeof(Thunk) * slots.size(), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (thunks_ == nullptr) return false;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    Thunk& t = thunks_[i];
    t.count = 0;
    t.target = *slots[i].entry;
    std::memset(t.code, 0xCC, sizeof t.code);
    // lock inc qword ptr [rip + to count]: F0 48 FF 05 and the distance, 8 bytes in all,
    // the distance counted from the instruction's end.
    const int32_t toCount = static_cast<int32_t>(offsetof(Thunk, count) - 8);
    const unsigned char inc[] = {0xF0, 0x48, 0xFF, 0x05};
    std::memcpy(t.code, inc, 4);
    std::memcpy(t.code + 4, &toCount, 4);
    // jmp qword ptr [rip + to target]; 6 bytes, starting at byte 8.
    const int32_t toTarget = static_cast<int32_t>(offsetof(Thunk, target) - (8 + 6));
    t.code[8] = 0xFF;
    t.code[9] = 0x25;
    std::memcpy(t.code + 10, &toTarget, 4);
    names_.push_back(slots[i].name);
  }
  FlushInstructionCache(GetCurrentProcess(), thunks_, sizeof(Thunk) * slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    DWORD old = 0;
    if (!VirtualProtect(slots[i].entry, sizeof(void*), PAGE_READWRITE, &old)) return false;
    *slots[i].entry = &thunks_[i];
    VirtualProtect(slots[i].entry, sizeof(void*), old, &old);
  }
  return true;
}

bool UserCallCounter::WatchMessages(HWND window) {
  if (originals != nullptr) return false;
  HMODULE user = GetModuleHandleW(L"user32.dll");
  using GetLongFunction = LONG_PTR(WINAPI*)(HWND, int);
  using SetLongFunction = LONG_PTR(WINAPI*)(HWND, int, LONG_PTR);
  using EnumChildFunction = BOOL(WINAPI*)(HWND, WNDENUMPROC, LPARAM);
  const auto getLong =
      reinterpret_cast<GetLongFunction>(reinterpret_cast<void*>(GetProcAddress(user, "GetWindowLongPtrW")));
  const auto setLong =
      reinterpret_cast<SetLongFunction>(reinterpret_cast<void*>(GetProcAddress(user, "SetWindowLongPtrW")));
  const auto enumChildren =
      reinterpret_cast<EnumChildFunction>(reinterpret_cast<void*>(GetProcAddress(user, "EnumChildWindows")));
  callOriginal = reinterpret_cast<CallWindowProcFunction>(
      reinterpret_cast<void*>(GetProcAddress(user, "CallWindowProcW")));
  if (getLong == nullptr || setLong == nullptr || enumChildren == nullptr || callOriginal == nullptr)
    return false;

  std::vector<HWND> windows{window};
  enumChildren(
      window,
      [](HWND child, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  auto* table = new std::unordered_map<HWND, WNDPROC>;
  for (HWND w : windows) (*table)[w] = reinterpret_cast<WNDPROC>(getLong(w, GWLP_WNDPROC));
  originals = table;
  bool all = true;
  for (HWND w : windows) {
    if (setLong(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountMessages)) == 0) all = false;
  }
  return all;
}

uint64_t UserCallCounter::Calls() const {
  uint64_t n = 0;
  for (std::size_t i = 0; i < names_.size(); ++i) n += thunks_[i].count;
  return n;
}

uint64_t UserCallCounter::Paints() const { return paintMessages.load(std::memory_order_relaxed); }

uint64_t UserCallCounter::Timers() const { return timerMessages.load(std::memory_order_relaxed); }

std::vector<std::pair<std::string, uint64_t>> UserCallCounter::ByFunction() const {
  std::vector<std::pair<std::string, uint64_t>> calls;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (thunks_[i].count != 0) calls.emplace_back(names_[i], thunks_[i].count);
  }
  std::sort(calls.begin(), calls.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return calls;
}
