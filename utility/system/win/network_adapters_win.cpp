// Hardware addresses of the network adapters through the IP Helper's adapter list.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "utility/system/network_adapters.h"

namespace utility {

namespace {

std::atomic<const std::vector<HardwareAddress>*> gTestAdapters{nullptr};

}  // namespace

// GetAdaptersInfo, not GetAdaptersAddresses: the device id is made of the adapters it lists (the
// IPv4 ones, no tunnels), and the same machine must keep giving the same id.
std::vector<HardwareAddress> networkAdapterAddresses() {
  if (const auto* test = gTestAdapters.load()) return *test;
  ULONG size = 0;
  DWORD result = ::GetAdaptersInfo(nullptr, &size);
  if (result != ERROR_SUCCESS && result != ERROR_BUFFER_OVERFLOW) return {};
  // Zero-filled, so address bytes beyond an adapter's length read as zero.
  std::vector<IP_ADAPTER_INFO> block;
  for (int attempt = 0; attempt < 4; ++attempt) {
    block.assign(size / sizeof(IP_ADAPTER_INFO) + 1, IP_ADAPTER_INFO{});
    size = static_cast<ULONG>(block.size() * sizeof(IP_ADAPTER_INFO));
    result = ::GetAdaptersInfo(block.data(), &size);
    if (result != ERROR_BUFFER_OVERFLOW) break;  // an adapter came meanwhile: ask again
  }
  std::vector<HardwareAddress> addresses;
  if (result != ERROR_SUCCESS) return addresses;
  for (const IP_ADAPTER_INFO* adapter = block.data(); adapter != nullptr; adapter = adapter->Next) {
    if (adapter->Type == MIB_IF_TYPE_LOOPBACK) continue;
    HardwareAddress address{};
    std::memcpy(address.data(), adapter->Address, std::min<size_t>(sizeof(adapter->Address), address.size()));
    addresses.push_back(address);
  }
  return addresses;
}

void setNetworkAdaptersForTesting(const std::vector<HardwareAddress>* addresses) { gTestAdapters.store(addresses); }

}  // namespace utility
