// The GTK host under a real X server (the test runs inside xvfb-run): real pointer clicks and
// typed text from xdotool arrive as notifications, the caption drags the window, and a broken
// layout shows its box and ends the process with exit code 1.
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/toolkit/linux/x_session_support.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/linux/desktop_host_gtk.h"
#include "utility/base/strings.h"
#include "utility/skin/resources.h"

namespace toolkit::testing {
namespace {

constexpr const wchar_t* kLayout = LR"(<Window size="300,200" caption="0,0,300,30">
  <VerticalLayout>
    <HorizontalLayout height="30">
      <Label name="titlename" text="Title"/>
      <Button name="closebtn" width="30"/>
    </HorizontalLayout>
    <Button name="ok" height="40" text="OK"/>
    <Edit name="edit" height="30"/>
    <Control/>
  </VerticalLayout>
</Window>)";

std::vector<uint8_t> layoutFile(const std::wstring& name) {
  if (name == L"gtk.xml") {
    const std::string text = utility::wideToUtf8(kLayout);
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  if (name == L"broken.xml") {
    const std::string text = "<Window size=\"10,10\"><VerticalLayout><Buton/></VerticalLayout></Window>";
    return std::vector<uint8_t>(text.begin(), text.end());
  }
  return {};
}

// Runs the GLib loop until |done| or a generous limit (never an assertion on time).
bool pumpUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::yield();
  }
  return true;
}

class GtkHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTextsForTesting();
    utility::TaskDispatcher::create();
    host = createDesktopHost(
        measurer, [this](_cairo*, WindowImplBase&, const Rect&) { ++paints; }, layoutFile);
    if (!host) GTEST_SKIP() << "no display: run under xvfb-run";
  }

  // A shown window at |at| on the screen, painted once.
  void showAt(RecordingWindow& window, Point at) {
    ASSERT_TRUE(window.create(nullptr, L"GTK host test"));
    window.show(ShowCommand::kShow);
    WindowHost* native = window.host();
    native->setFrame(Rect{at.x, at.y, at.x + 300, at.y + 200});
    ASSERT_TRUE(pumpUntil([&] { return paints > 0 && native->frame().left == at.x && native->frame().top == at.y; }));
  }

  Point screenCentre(RecordingWindow& window, std::wstring_view name) {
    window.relayout();
    const Rect r = window.findControl(name)->rect();
    const Rect frame = window.host()->frame();
    return Point{frame.left + r.left + r.width() / 2, frame.top + r.top + r.height() / 2};
  }

  FixedMeasurer measurer;
  int paints = 0;
  std::unique_ptr<WindowHostFactory> host;
};

TEST_F(GtkHostTest, ARealClickAndTypedTextArriveAsNotifications) {
  RecordingWindow window(L"gtk.xml");
  showAt(window, Point{100, 100});
  ASSERT_TRUE(xdotool("mousemove --sync " + at(screenCentre(window, L"ok")) + " click 1"));
  ASSERT_TRUE(pumpUntil([&] {
    return std::find(window.seen.begin(), window.seen.end(), L"click:ok") != window.seen.end();
  }));
  ASSERT_TRUE(xdotool("mousemove --sync " + at(screenCentre(window, L"edit")) + " click 1"));
  auto* edit = window.findControl<Edit>(L"edit");
  ASSERT_TRUE(pumpUntil([&] { return edit->isFocused(); }));
  ASSERT_TRUE(xdotool("type --delay 1 'abc d'"));
  ASSERT_TRUE(pumpUntil([&] { return edit->text() == L"abc d"; })) << utility::wideToUtf8(edit->text());
  ASSERT_TRUE(xdotool("key BackSpace"));
  ASSERT_TRUE(pumpUntil([&] { return edit->text() == L"abc "; }));
  // Leaving the edit for the button says so.
  window.seen.clear();
  ASSERT_TRUE(xdotool("mousemove --sync " + at(screenCentre(window, L"ok")) + " click 1"));
  ASSERT_TRUE(pumpUntil([&] { return window.seen.size() >= 3; }));
  EXPECT_EQ(window.seen, (std::vector<std::wstring>{L"killfocus:edit", L"setfocus:ok", L"click:ok"}));
}

TEST_F(GtkHostTest, TheCaptionDragMovesTheWindow) {
  RecordingWindow window(L"gtk.xml");
  showAt(window, Point{200, 150});
  const Point title = screenCentre(window, L"titlename");
  ASSERT_TRUE(xdotool("mousemove --sync " + at(title) + " mousedown 1"));
  // The press starts the drag (a pointer grab); the motion after it moves the window.
  GdkDisplay* display = gdk_display_get_default();
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
  ASSERT_TRUE(pumpUntil([&] { return gdk_display_device_is_grabbed(display, pointer) != FALSE; }));
  ASSERT_TRUE(xdotool("mousemove --sync " + at(Point{title.x + 40, title.y + 30})));
  ASSERT_TRUE(pumpUntil([&] {
    return window.host()->frame().left == 240 && window.host()->frame().top == 180;
  })) << window.host()->frame().left << "," << window.host()->frame().top;
  ASSERT_TRUE(xdotool("mouseup 1"));
  EXPECT_EQ(window.seen, std::vector<std::wstring>{}) << "a caption drag is no click";
}

GtkWindow* toplevelTitled(const char* title) {
  GList* all = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* it = all; it != nullptr; it = it->next) {
    const char* t = gtk_window_get_title(GTK_WINDOW(it->data));
    if (t != nullptr && std::string(t) == title) found = GTK_WINDOW(it->data);
  }
  g_list_free(all);
  return found;
}

TEST_F(GtkHostTest, TheIconComesFromTheExecutablesIconResource) {
  GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
  gdk_pixbuf_fill(image, 0x268fd6ff);
  gchar* png = nullptr;
  gsize size = 0;
  ASSERT_TRUE(gdk_pixbuf_save_to_buffer(image, &png, &size, "png", nullptr, nullptr));
  g_object_unref(image);
  utility::registerResourceForTesting(L"ICON", 107,
                                      std::span<const uint8_t>(reinterpret_cast<uint8_t*>(png), size));
  RecordingWindow window(L"gtk.xml");
  ASSERT_TRUE(window.create(nullptr, L"icon test"));
  GtkWindow* native = toplevelTitled("icon test");
  ASSERT_NE(native, nullptr);
  window.setIcon(108);  // no such resource: no icon
  EXPECT_EQ(gtk_window_get_icon(native), nullptr);
  window.setIcon(107);
  GdkPixbuf* icon = gtk_window_get_icon(native);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(gdk_pixbuf_get_width(icon), 16);
  utility::unregisterResourceForTesting(L"ICON", 107);
  g_free(png);
}

TEST_F(GtkHostTest, ABrokenLayoutShowsItsBoxAndExitsWithCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Someone presses the box's button once it is on screen.
        std::system("xdotool search --sync --name '^Duilib$' windowfocus --sync key Return &");
        RecordingWindow broken(L"broken.xml");
        broken.create(nullptr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1),
      "Duilib: load resource errr\\. location:broken\\.xml:/Window/VerticalLayout\\[1\\]/Buton\\[1\\] "
      "msg:unknown element \"Buton\"");
}

}  // namespace
}  // namespace toolkit::testing
