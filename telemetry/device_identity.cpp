#include "telemetry/device_identity.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <memory>

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

bool md5Hex(const void* data, long long length, std::string& out) {
  if (data == nullptr || length <= 0) return false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), data, static_cast<size_t>(length)) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &size) != 1) {
    return false;
  }
  std::string hex;
  hex.reserve(size * 2);
  static const char kDigits[] = "0123456789abcdef";
  for (unsigned int i = 0; i < size; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0xF]);
  }
  out = std::move(hex);
  return true;
}

std::string decimal(int32_t value) { return std::to_string(value); }

std::string decimal64(int64_t value) { return std::to_string(value); }

}  // namespace telemetry
