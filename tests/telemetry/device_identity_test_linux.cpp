// MD5 on Linux does not depend on the crypto library's settings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "telemetry/device_identity.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// The digest is a checksum of the collection protocol, not a protection: it must keep working
// on a machine whose crypto library is set to FIPS mode, where MD5 is refused. The setting is
// read when the library first starts, so the case runs in a fresh process.
TEST(DeviceIdentityLinux, Md5WorksWhereTheCryptoLibraryRefusesIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::string out;
        bool ok = false;
        {  // the folder goes before the child ends, which it does without unwinding
          const testsupport::TempFolder folder("fips");
          const fs::path config = folder.path() / "fips.cnf";
          std::ofstream(config) << "openssl_conf = openssl_init\n[openssl_init]\nalg_section = evp_properties\n"
                                   "[evp_properties]\ndefault_properties = fips=yes\n";
          setenv("OPENSSL_CONF", config.c_str(), 1);
          ok = telemetry::md5Hex("abc", 3, out);
        }
        std::fprintf(stderr, "md5 <%d %s>\n", ok ? 1 : 0, out.c_str());
        std::fflush(stderr);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "md5 <1 900150983cd24fb0d6963f7d28e17f72>");
}

}  // namespace
