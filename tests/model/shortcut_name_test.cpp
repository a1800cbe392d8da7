// Shortcut names at the file-name limit: the icon is fetched under a temporary name beside its
// own, and every name the launcher can carry must still give an icon and a launcher.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/model/install_world.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace {

using installtest::InstallWorld;
namespace fs = std::filesystem;

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

std::wstring repeated(const wchar_t* piece, size_t times) {
  std::wstring text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct NameCase {
  const char* label;
  std::wstring name;
};
void PrintTo(const NameCase& c, std::ostream* out) { *out << c.label; }

class ShortcutNameLength : public InstallWorld, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ShortcutNameLength, GivesAnIconAndALauncher) {
  placeInstaller();
  InstallInput input;
  const std::wstring base = utility::utf8ToWide(services_->baseUrl());
  input.settings.shortcutName = GetParam().name;
  input.settings.shortcutUrl = base + L"/images/shortcut.ico";
  ASSERT_TRUE(runInstall(input).started);

  const auto found = launchers();
  ASSERT_EQ(found.size(), 1u) << "no launcher for a name of "
                              << utility::wideToUtf8(GetParam().name).size() << " bytes";
  const std::string launcherName = found[0].filename().string();
  EXPECT_LE(launcherName.size(), utility::ufile::kMaxFileNameBytes);
  // The launcher and its icon carry the same (possibly cut) name.
  const std::string stem = launcherName.substr(0, launcherName.size() - std::string(".desktop").size());
  const fs::path icon = host(L"C:\\Tarnwick\\Tarnwick9\\data\\") / (stem + ".ico");
  EXPECT_TRUE(fs::is_regular_file(icon)) << icon;
  EXPECT_NE(readFile(found[0].string()).find("Icon=" + icon.string() + "\n"), std::string::npos);
  for (const auto& entry : fs::directory_iterator(icon.parent_path())) {
    EXPECT_NE(entry.path().extension(), ".download") << "a temporary file was left: " << entry.path();
  }
}

// The launcher's file name holds 247 bytes of the name; the icon's name 251; its temporary name
// ".download" more. ASCII and two-, three- and four-byte characters around those limits.
INSTANTIATE_TEST_SUITE_P(
    AroundTheFileNameLimit, ShortcutNameLength,
    ::testing::Values(NameCase{"ascii_242", repeated(L"a", 242)}, NameCase{"ascii_243", repeated(L"b", 243)},
                      NameCase{"ascii_247", repeated(L"c", 247)}, NameCase{"ascii_300", repeated(L"d", 300)},
                      NameCase{"two_byte_246", repeated(L"\u00e9", 123)},
                      NameCase{"three_byte_249", L"x" + repeated(L"\u6e38", 82) + L"y"},
                      NameCase{"four_byte_248", repeated(L"\U0001F3AE", 62)},
                      NameCase{"mixed_past_the_limit", repeated(L"a\u00e9\u6e38\U0001F3AE", 30)}),
    [](const ::testing::TestParamInfo<NameCase>& tested) { return std::string(tested.param.label); });

}  // namespace
