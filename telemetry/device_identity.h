// The machine's device id, derived from its network adapters' hardware addresses, and the small
// helpers the event reports are signed with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace telemetry {

// Adapter address texts ("00155D0A1B2C") in the system's order; all-zero addresses left out.
bool listAdapterMacs(std::vector<std::wstring>& out);
// Empty without adapters; 32 lower-case hex digits for one; "<count in hex>-<digits>" for several.
bool computeDeviceId(std::string& out);
// MD5 of the bytes as 32 lower-case hex digits; false (|out| untouched) for null or length <= 0.
bool md5Hex(const void* data, long long length, std::string& out);

std::string decimal(int32_t value);
std::string decimal64(int64_t value);

}  // namespace telemetry
