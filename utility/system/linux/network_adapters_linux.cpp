#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "utility/system/network_adapters.h"

namespace utility {

namespace {

std::atomic<const std::vector<HardwareAddress>*> gTestAdapters{nullptr};

}  // namespace

std::vector<HardwareAddress> networkAdapterAddresses() {
  if (const auto* test = gTestAdapters.load()) return *test;
  std::vector<std::pair<int, HardwareAddress>> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    if ((entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    HardwareAddress address{};
    std::memcpy(address.data(), link->sll_addr, std::min<size_t>(link->sll_halen, address.size()));
    found.emplace_back(link->sll_ifindex, address);
  }
  freeifaddrs(list);
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<HardwareAddress> addresses;
  for (const auto& [index, address] : found) addresses.push_back(address);
  return addresses;
}

void setNetworkAdaptersForTesting(const std::vector<HardwareAddress>* addresses) { gTestAdapters.store(addresses); }

}  // namespace utility
