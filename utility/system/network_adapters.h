// Hardware addresses of the machine's network adapters.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace utility {

using HardwareAddress = std::array<uint8_t, 8>;  // unused trailing bytes are zero

// Link-layer addresses in the order the system lists its adapters (the IP Helper's list on
// Windows, interface index on Linux); loopback is left out, all-zero addresses are kept.
std::vector<HardwareAddress> networkAdapterAddresses();

// Tests: answer with |addresses| instead of the system's (nullptr restores the system's).
void setNetworkAdaptersForTesting(const std::vector<HardwareAddress>* addresses);

}  // namespace utility
