// The first network adapter's hardware address, from getifaddrs.
#include <ifaddrs.h>
#include <net/if.h>
#include <netpacket/packet.h>

#include <climits>

#include "platform/adapters.h"

namespace {
// The error number the text shows when the host has no adapter.
constexpr int kErrorNoAdapter = 232;
}  // namespace

std::string GetMacText() {
  struct ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return FormatMacError(kErrorNoAdapter);
  // The first adapter is the one with the lowest interface index that is not
  // loopback and has a link-layer address.
  const struct sockaddr_ll* best = nullptr;
  int bestIndex = INT_MAX;
  for (struct ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_PACKET) continue;
    if (it->ifa_flags & IFF_LOOPBACK) continue;
    auto* ll = reinterpret_cast<const struct sockaddr_ll*>(it->ifa_addr);
    if (ll->sll_halen == 0) continue;
    if (ll->sll_ifindex < bestIndex) {
      bestIndex = ll->sll_ifindex;
      best = ll;
    }
  }
  std::string text =
      best ? FormatMacAddress(best->sll_addr, best->sll_halen) : FormatMacError(kErrorNoAdapter);
  freeifaddrs(list);
  return text;
}
