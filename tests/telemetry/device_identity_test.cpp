#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "telemetry/device_identity.h"
#include "utility/system/network_adapters.h"

namespace {

class DeviceIdentity : public ::testing::Test {
 protected:
  void TearDown() override { utility::setNetworkAdaptersForTesting(nullptr); }
  static std::string md5(const std::string& text) {
    std::string out;
    telemetry::md5Hex(text.data(), static_cast<long long>(text.size()), out);
    return out;
  }
};

TEST_F(DeviceIdentity, Md5AndDecimals) {
  EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");  // RFC 1321 test suite
  EXPECT_EQ(md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(md5(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");  // many blocks in one call
  std::string out = "unchanged";
  EXPECT_FALSE(telemetry::md5Hex("x", 0, out));
  EXPECT_FALSE(telemetry::md5Hex(nullptr, 5, out));
  EXPECT_FALSE(telemetry::md5Hex("x", -1, out));
  EXPECT_EQ(out, "unchanged");
  EXPECT_EQ(telemetry::decimal(-2048), "-2048");
  EXPECT_EQ(telemetry::decimal64(1733788800123LL), "1733788800123");
}

TEST_F(DeviceIdentity, AdapterTable) {
  using Address = utility::HardwareAddress;
  struct Case {
    std::vector<Address> adapters;
    std::string joined;  // what is digested, "" for no id
    std::string prefix;
  };
  const Address a0A = {0x0A, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0};
  const Address a00 = {0x00, 0x15, 0x5D, 0x0A, 0x1B, 0x2C, 0, 0};
  const Address zero = {0, 0, 0, 0, 0, 0, 0, 0};
  const Address long8 = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x99, 0x98};  // only six bytes are printed
  const Case cases[] = {
      {{a0A, a00}, "00155D0A1B2C|0A1122334455", "2-"},
      {{a00}, "00155D0A1B2C", ""},
      {{zero, a00, zero}, "00155D0A1B2C", ""},
      {{a00, a00}, "00155D0A1B2C|00155D0A1B2C", "2-"},
      {{long8, a0A, a00}, "00155D0A1B2C|0A1122334455|DEADBEEF0001", "3-"},
      {{zero}, "", ""},
      {{}, "", ""},
  };
  for (const Case& c : cases) {
    utility::setNetworkAdaptersForTesting(&c.adapters);
    std::string id = "stale";
    const bool ok = telemetry::computeDeviceId(id);
    if (c.joined.empty()) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(id, "");
    } else {
      EXPECT_TRUE(ok);
      EXPECT_EQ(id, c.prefix + md5(c.joined)) << c.joined;
    }
  }
  std::vector<Address> sixteen(16, a00);
  utility::setNetworkAdaptersForTesting(&sixteen);
  std::string id;
  ASSERT_TRUE(telemetry::computeDeviceId(id));
  EXPECT_EQ(id.substr(0, 3), "10-");
}

// The real adapters: the id has the documented shape for their count, and another process on
// the same machine computes the same id.
TEST_F(DeviceIdentity, ThisMachineIsStable) {
  size_t usable = 0;
  for (const utility::HardwareAddress& address : utility::networkAdapterAddresses()) {
    for (uint8_t byte : address) {
      if (byte != 0) {
        ++usable;
        break;
      }
    }
  }
  if (usable == 0) GTEST_SKIP() << "this machine has no adapter with a hardware address";
  std::string id;
  ASSERT_TRUE(telemetry::computeDeviceId(id));
  char prefix[24] = "";
  if (usable > 1) std::snprintf(prefix, sizeof(prefix), "%zx-", usable);
  EXPECT_TRUE(std::regex_match(id, std::regex(std::string(prefix) + "[0-9a-f]{32}"))) << id;

  // The child is a fresh run of this binary (not a fork), so nothing computed here reaches it.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string again;
        telemetry::computeDeviceId(again);
        std::fprintf(stderr, "device id <%s>\n", again.c_str());
        std::fflush(stderr);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "device id <" + id + ">");
}

}  // namespace
