// The first network adapter's hardware address, from GetAdaptersInfo.
// Windows' headers in the order they need each other, which is not sorted.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <vector>

#include "platform/adapters.h"

namespace {
// Room for five adapter records, the size the client has always asked with.
constexpr ULONG kFirstBufferSize = 3520;
}  // namespace

std::string GetMacText() {
  std::vector<unsigned char> buffer(kFirstBufferSize);
  ULONG size = kFirstBufferSize;
  DWORD rc = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  // A host with more adapters than fit is asked again with the size it reported, so the
  // first adapter's address is still found. Adapters may come and go in between: a few
  // rounds, then the error stands.
  for (int round = 0; rc == ERROR_BUFFER_OVERFLOW && round < 3 && size > buffer.size(); ++round) {
    buffer.assign(size, 0);
    rc = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (rc != ERROR_SUCCESS) return FormatMacError(static_cast<int>(rc));
  const auto* first = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
  // Six bytes are shown whatever length the adapter reports.
  return FormatMacAddress(first->Address, 6);
}
