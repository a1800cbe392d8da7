#include "telemetry/device_identity.h"

#include <algorithm>
#include <cstdio>

#include "utility/system/network_adapters.h"
#include "utility/base/strings.h"

namespace telemetry {

bool listAdapterMacs(std::vector<std::wstring>& out) {
  out.clear();
  for (const utility::HardwareAddress& address : utility::networkAdapterAddresses()) {
    if (std::all_of(address.begin(), address.end(), [](uint8_t b) { return b == 0; })) continue;
    char text[13];
    std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2], address[3],
                  address[4], address[5]);
    out.push_back(utility::utf8ToWide(text));
  }
  return !out.empty();
}

bool computeDeviceId(std::string& out) {
  out.clear();
  std::vector<std::wstring> macs;
  if (!listAdapterMacs(macs)) return false;
  std::sort(macs.begin(), macs.end());
  std::string joined;
  for (size_t i = 0; i < macs.size(); ++i) {
    if (i > 0) joined += '|';
    joined += utility::wideToUtf8(macs[i]);
  }
  md5Hex(joined.data(), static_cast<long long>(joined.size()), out);
  if (macs.size() > 1 && !out.empty()) {
    char prefix[24];
    std::snprintf(prefix, sizeof(prefix), "%zx-", macs.size());
    out = prefix + out;
  }
  return !out.empty();
}

std::string decimal(int32_t value) { return std::to_string(value); }

std::string decimal64(int64_t value) { return std::to_string(value); }

}  // namespace telemetry
