// The desktop's text scale on Linux: worked out from the font resolution and GDK_DPI_SCALE, and
// followed by the windows of the GTK host (each run starts its own X server, see CMakeLists).
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/linux/desktop_host_gtk.h"
#include "toolkit/linux/text_scale_linux.h"
#include "utility/base/strings.h"

namespace toolkit::testing {
namespace {

TEST(TextScaleTest, FromTheFontResolutionAndTheScaleVariable) {
  const struct {
    int xftDpi;
    const char* variable;
    double scale;
  } cases[] = {
      {0, nullptr, 1.0},            {96 * 1024, nullptr, 1.0},    {120 * 1024, nullptr, 1.25},
      {144 * 1024, nullptr, 1.5},   {96 * 1024, "1.5", 1.5},      {120 * 1024, "1.2", 1.5},
      {-1, "1.25", 1.25},           {96 * 1024, "0", 1.0},        {96 * 1024, "-2", 1.0},
      {96 * 1024, "abc", 1.0},      {96 * 1024, "1,5", 1.0},      {96 * 1024 * 20, nullptr, 4.0},
      {96 * 1024, "0.1", 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.xftDpi << " " << (c.variable ? c.variable : "(unset)"));
    EXPECT_DOUBLE_EQ(textScaleFrom(c.xftDpi, c.variable), c.scale);
  }
}

constexpr const char* kLayout = R"(<Window size="300,200">
  <Font id="0" name="Sans" size="12" default="true"/>
  <VerticalLayout><Label name="line" text="Text"/></VerticalLayout>
</Window>)";

bool pumpUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::yield();
  }
  return true;
}

TEST(TextScaleTest, WindowsTakeTheDesktopsSettingAndFollowItsChanges) {
  // The setting alone decides here.
  g_unsetenv("GDK_DPI_SCALE");
  resetTextsForTesting();
  utility::TaskDispatcher::create();
  FixedMeasurer measurer;
  auto host = createDesktopHost(measurer, nullptr, [](const std::wstring&) {
    return std::vector<uint8_t>(kLayout, kLayout + std::char_traits<char>::length(kLayout));
  });
  if (!host) GTEST_SKIP() << "no display: run under xvfb-run";
  GtkSettings* settings = gtk_settings_get_default();
  ASSERT_NE(settings, nullptr);
  g_object_set(settings, "gtk-xft-dpi", 144 * 1024, nullptr);
  RecordingWindow window(L"scale.xml");
  ASSERT_TRUE(window.create(nullptr, L"text scale"));
  EXPECT_DOUBLE_EQ(window.fonts().textScale(), 1.5);
  EXPECT_EQ(window.font(-1)->size, 18);
  // The user makes text larger while the window is open.
  g_object_set(settings, "gtk-xft-dpi", 192 * 1024, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return window.fonts().textScale() == 2.0; }));
  EXPECT_EQ(window.font(-1)->size, 24);
  g_object_set(settings, "gtk-xft-dpi", 96 * 1024, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return window.fonts().textScale() == 1.0; }));
  window.close();
  pumpUntil([&] { return window.destroyed; });
}

}  // namespace
}  // namespace toolkit::testing
