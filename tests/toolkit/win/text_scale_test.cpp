// The desktop's text size on Windows: read from the user's registry (a private one per test) and
// followed live by the Win32 host's windows when the system says a setting changed.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "tests/support/temp_registry.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/win/desktop_host_win.h"
#include "toolkit/win/text_scale_win.h"
#include "toolkit/win/window_host_win.h"
#include "utility/base/main_loop.h"

namespace toolkit::testing {
namespace {

constexpr const char* kLayout = R"(<Window size="300,200">
  <Font id="0" name="Tahoma" size="12" default="true"/>
  <VerticalLayout><Label name="line" text="Text"/></VerticalLayout>
</Window>)";

constexpr const wchar_t* kKey = L"Software\\Microsoft\\Accessibility";

// Sets (or with none, removes) the setting in the test's private registry.
void setPercent(std::optional<DWORD> percent) {
  if (!percent) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"TextScaleFactor");
    return;
  }
  const DWORD value = *percent;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"TextScaleFactor", REG_DWORD, &value,
                            sizeof(value)),
            ERROR_SUCCESS);
}

TEST(WinTextScaleTest, TheStoredPercentageHeldWithinWhatTheSettingOffers) {
  testsupport::TempRegistry registry("text-scale");
  const struct {
    const char* what;
    std::optional<DWORD> percent;
    double scale;
  } cases[] = {
      {"absent", std::nullopt, 1.0}, {"100", 100, 1.0},  {"125", 125, 1.25},
      {"225, the largest", 225, 2.25}, {"0", 0, 1.0},    {"below 100", 50, 1.0},
      {"past 225", 400, 2.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DOUBLE_EQ(win::textScaleFromPercent(c.percent), c.scale);
    setPercent(c.percent);
    EXPECT_DOUBLE_EQ(win::desktopTextScale(), c.scale);
  }
  // A value of another type is not the setting.
  const wchar_t text[] = L"150";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"TextScaleFactor", REG_SZ, text, sizeof(text)),
            ERROR_SUCCESS);
  EXPECT_DOUBLE_EQ(win::desktopTextScale(), 1.0);
}

bool pumpUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    if (!utility::MainLoop::iterate()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

TEST(WinTextScaleTest, WindowsTakeTheSettingAndFollowItsChanges) {
  testsupport::TempRegistry registry("text-scale");
  resetTextsForTesting();
  utility::TaskDispatcher::create();
  utility::MainLoop::resetForTesting();
  FixedMeasurer measurer;
  auto host = createDesktopHost(measurer, nullptr, [](const std::wstring&) {
    return std::vector<uint8_t>(kLayout, kLayout + std::char_traits<char>::length(kLayout));
  });
  if (!host) GTEST_SKIP() << "no desktop to make windows on";
  setPercent(125);
  EXPECT_DOUBLE_EQ(host->textScale(), 1.25);
  RecordingWindow window(L"scale.xml");
  ASSERT_TRUE(window.create(nullptr, L"text scale"));
  EXPECT_DOUBLE_EQ(window.fonts().textScale(), 1.25);
  EXPECT_EQ(window.font(-1)->size, 15);
  auto* windowHost = static_cast<win::WinWindowHost*>(window.host());
  ASSERT_NE(windowHost, nullptr);
  const HWND hwnd = windowHost->hwnd();

  // The user makes text larger while the window is open; the system names the area.
  setPercent(200);
  SendMessageW(hwnd, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Accessibility"));
  EXPECT_DOUBLE_EQ(window.fonts().textScale(), 2.0);
  EXPECT_EQ(window.font(-1)->size, 24);
  // And back to the default, with a change that names nothing.
  setPercent(std::nullopt);
  SendMessageW(hwnd, WM_SETTINGCHANGE, 0, 0);
  EXPECT_DOUBLE_EQ(window.fonts().textScale(), 1.0);
  EXPECT_EQ(window.font(-1)->size, 12);

  window.close();
  pumpUntil([&] { return window.destroyed; });
  utility::MainLoop::resetForTesting();
}

}  // namespace
}  // namespace toolkit::testing
