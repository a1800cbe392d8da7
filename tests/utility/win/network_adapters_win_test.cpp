// The adapters behind the device id, against the system's other adapter list.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "utility/system/network_adapters.h"

namespace {

// Every address listed is the hardware address of an adapter the system also lists through
// GetAdaptersAddresses, none of them a loopback adapter, and every such IPv4 adapter is listed.
TEST(NetworkAdaptersWin, TheMachinesOwnAdaptersWithoutLoopback) {
  ULONG size = 64 * 1024;
  std::vector<IP_ADAPTER_ADDRESSES> buffer(size / sizeof(IP_ADAPTER_ADDRESSES) + 1);
  const ULONG flags = GAA_FLAG_SKIP_UNICAST | GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ASSERT_EQ(::GetAdaptersAddresses(AF_INET, flags, nullptr, buffer.data(), &size), static_cast<ULONG>(NO_ERROR));
  std::vector<utility::HardwareAddress> system;
  std::vector<utility::HardwareAddress> loopback;
  for (const IP_ADAPTER_ADDRESSES* adapter = buffer.data(); adapter != nullptr; adapter = adapter->Next) {
    utility::HardwareAddress address{};
    std::memcpy(address.data(), adapter->PhysicalAddress, std::min<size_t>(adapter->PhysicalAddressLength, 8));
    (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK ? loopback : system).push_back(address);
  }

  const std::vector<utility::HardwareAddress> listed = utility::networkAdapterAddresses();
  for (const utility::HardwareAddress& address : listed) {
    EXPECT_NE(std::find(system.begin(), system.end(), address), system.end());
  }
  for (const utility::HardwareAddress& address : system) {
    EXPECT_NE(std::find(listed.begin(), listed.end(), address), listed.end());
  }
  EXPECT_EQ(listed.size(), system.size());
}

}  // namespace
