// The Win32 host on the Wine session's X server: real windows, driven by the messages the system
// would send them; what the toolkit window and the native window then say is checked.
#include <windows.h>
#include <commctrl.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/win/desktop_host_win.h"
#include "toolkit/win/dpi_win.h"
#include "toolkit/win/window_host_win.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"

namespace toolkit::testing {
namespace {

constexpr const wchar_t* kLayout = LR"(<Window size="300,200" caption="0,0,300,30" sizebox="4,4,4,4" mininfo="200,150">
  <VerticalLayout>
    <HorizontalLayout height="30">
      <Label name="titlename" text="Title"/>
      <Button name="closebtn" width="30"/>
    </HorizontalLayout>
    <Button name="ok" height="30" text="OK" tooltip="Press me"/>
    <Edit name="edit" height="30"/>
    <Combo name="combo" height="20">
      <ListLabelElement text="English" userdata="en"/>
      <ListLabelElement text="Deutsch" userdata="de"/>
      <ListLabelElement text="Français" userdata="fr"/>
    </Combo>
    <RichEdit name="licence" height="40" readonly="true" text="The licence: a text of many lines that the wheel scrolls, longer than its control is high, word after word after word after word after word after word after word after word after word."/>
    <Control/>
  </VerticalLayout>
</Window>)";

constexpr const wchar_t* kBoxLayout = LR"(<Window size="120,80">
  <VerticalLayout><Button name="yes" text="Yes"/></VerticalLayout>
</Window>)";

std::vector<uint8_t> layoutFile(const std::wstring& name) {
  std::wstring text;
  if (name == L"host.xml") text = kLayout;
  if (name == L"box.xml") text = kBoxLayout;
  if (name == L"broken.xml") text = L"<Window size=\"10,10\"><VerticalLayout><Buton/></VerticalLayout></Window>";
  const std::string bytes = utility::wideToUtf8(text);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

HWND hwndOf(WindowImplBase& window) {
  auto* host = static_cast<win::WinWindowHost*>(window.host());
  return host != nullptr ? host->hwnd() : nullptr;
}

// Runs the thread's messages until |done| or a generous limit (never an assertion on time).
bool pumpUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    if (!utility::MainLoop::iterate()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

void drain() {
  while (utility::MainLoop::iterate()) {
  }
}

struct Paint {
  Size bitmap;
  int bitsPerPixel = 0;
  bool topDown = false;  // row 0 first in memory
  Rect dirty;
  uint32_t firstDirtyPixel = 1;  // as the hook found it: cleared to transparent
};

class WinHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTextsForTesting();
    utility::TaskDispatcher::create();
    utility::MainLoop::resetForTesting();
    host = createDesktopHost(measurer, [this](HDC__* dc, WindowImplBase&, const Rect& dirty) { record(dc, dirty); },
                             layoutFile);
    // Under Wine windows need the session's X server.
    if (host == nullptr) GTEST_SKIP() << "no desktop to make windows on";
  }
  void TearDown() override {
    setSessionEndHandler(nullptr);
    drain();
    utility::MainLoop::resetForTesting();
  }

  void record(HDC__* dc, const Rect& dirty) {
    Paint paint;
    paint.dirty = dirty;
    DIBSECTION section{};
    if (GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof(section), &section) == sizeof(section)) {
      paint.bitmap = Size{section.dsBm.bmWidth, section.dsBm.bmHeight};
      paint.bitsPerPixel = section.dsBm.bmBitsPixel;
      const int scale = paint.bitmap.width / std::max(1, lastWindowWidth);
      const auto* bits = static_cast<const uint32_t*>(section.dsBm.bmBits);
      if (bits != nullptr && scale > 0) {
        const int x = dirty.left * scale;
        const int y = dirty.top * scale;
        const size_t at = static_cast<size_t>(y) * static_cast<size_t>(paint.bitmap.width) + static_cast<size_t>(x);
        paint.firstDirtyPixel = bits[at];
        SetPixelV(dc, x, y, RGB(0xFF, 0, 0));
        GdiFlush();
        paint.topDown = (bits[at] & 0x00FFFFFFu) == 0x00FF0000u;
      }
    }
    // What the painter draws stays for the next paints: a colour fills the dirty area.
    HBRUSH brush = CreateSolidBrush(RGB(0x26, 0x8f, 0xd6));
    RECT all{0, 0, paint.bitmap.width, paint.bitmap.height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    paints.push_back(paint);
  }

  // A shown window with its first paint done.
  void open(RecordingWindow& window, WindowImplBase* owner = nullptr, WindowStyle style = {}) {
    ASSERT_TRUE(window.create(owner, L"Win32 host test", style));
    lastWindowWidth = window.clientSize().width;
    window.show(ShowCommand::kShow);
    ASSERT_TRUE(pumpUntil([&] { return !paints.empty(); }));
  }

  static LPARAM screenPoint(HWND hwnd, int x, int y) {
    POINT at{x, y};
    ClientToScreen(hwnd, &at);
    return MAKELPARAM(at.x, at.y);
  }

  static void click(HWND hwnd, Point at) {
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  }

  static Point centreOf(WindowImplBase& window, std::wstring_view name) {
    window.relayout();
    const Rect r = window.findControl(name)->rect();
    const int scale = window.scaleFactor();
    return Point{(r.left + r.width() / 2) * scale, (r.top + r.height() / 2) * scale};
  }

  FixedMeasurer measurer;
  std::unique_ptr<WindowHostFactory> host;
  std::vector<Paint> paints;
  int lastWindowWidth = 300;
};

TEST_F(WinHostTest, ShowingFollowsTheRealWindowState) {
  RecordingWindow window(L"host.xml");
  open(window);
  HWND hwnd = hwndOf(window);
  struct Step {
    const char* what;
    std::function<void()> act;
    bool visible;
    bool minimized;
  };
  const std::vector<Step> steps = {
      {"shown", [] {}, true, false},
      {"hidden", [&] { window.show(ShowCommand::kHide); }, false, false},
      {"shown again", [&] { window.show(ShowCommand::kShow); }, true, false},
      {"minimised by the toolkit", [&] { window.show(ShowCommand::kMinimize); }, true, true},
      {"restored by the system (the task bar)", [&] { ShowWindow(hwnd, SW_RESTORE); }, true, false},
      {"minimised by the system", [&] { ShowWindow(hwnd, SW_MINIMIZE); }, true, true},
      {"restored by the toolkit", [&] { window.show(ShowCommand::kRestore); }, true, false},
      {"shown without the focus", [&] { window.show(ShowCommand::kShowNoActivate); }, true, false},
  };
  for (const Step& step : steps) {
    step.act();
    drain();
    EXPECT_EQ(window.host()->isVisible(), step.visible) << step.what;
    EXPECT_EQ(window.host()->isMinimized(), step.minimized) << step.what;
    EXPECT_EQ(IsWindowVisible(hwnd) != FALSE, step.visible) << step.what;
    EXPECT_EQ(IsIconic(hwnd) != FALSE, step.minimized) << step.what;
  }
  // Restored from outside, it takes input again.
  window.show(ShowCommand::kMinimize);
  ShowWindow(hwnd, SW_RESTORE);
  click(hwnd, centreOf(window, L"ok"));
  EXPECT_EQ(window.seen, (std::vector<std::wstring>{L"setfocus:ok", L"click:ok"}));
}

TEST_F(WinHostTest, PointerHoverLeaveCaptureAndWheel) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  auto* ok = window.findControl(L"ok");
  const Point at = centreOf(window, L"ok");
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
  EXPECT_TRUE(ok->isHot());
  SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(ok->isHot());
  // A press holds the pointer: leaving the window then is no leave, and a release elsewhere no click.
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  EXPECT_EQ(GetCapture(), hwnd);
  EXPECT_TRUE(ok->isPushed());
  SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
  EXPECT_TRUE(ok->isPushed());
  const Point away = centreOf(window, L"licence");
  SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(away.x, away.y));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(away.x, away.y));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(ok->isPushed());
  EXPECT_EQ(std::count(window.seen.begin(), window.seen.end(), L"click:ok"), 0);
  // Half steps of a fine wheel add up to one step down.
  auto* licence = window.findControl<RichEdit>(L"licence");
  POINT screen{away.x, away.y};
  ClientToScreen(hwnd, &screen);
  const WPARAM halfDown = MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA / 2));
  SendMessageW(hwnd, WM_MOUSEWHEEL, halfDown, MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(licence->scrollY(), 0);
  SendMessageW(hwnd, WM_MOUSEWHEEL, halfDown, MAKELPARAM(screen.x, screen.y));
  EXPECT_GT(licence->scrollY(), 0);
}

TEST_F(WinHostTest, StylesOwnerTaskBarAndTitle) {
  RecordingWindow main(L"host.xml");
  open(main);
  RecordingWindow box(L"box.xml", L"BoxWindow");
  WindowStyle boxStyle;
  boxStyle.toolWindow = true;
  boxStyle.topmost = true;
  ASSERT_TRUE(box.create(&main, L"box", boxStyle));
  const HWND mainWindow = hwndOf(main);
  const HWND boxWindow = hwndOf(box);
  const LONG_PTR mainStyle = GetWindowLongPtrW(mainWindow, GWL_STYLE);
  const LONG_PTR mainExStyle = GetWindowLongPtrW(mainWindow, GWL_EXSTYLE);
  EXPECT_EQ(mainStyle & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP);
  EXPECT_NE(mainExStyle & WS_EX_LAYERED, 0);
  EXPECT_NE(mainExStyle & WS_EX_APPWINDOW, 0) << "the main window has a task-bar entry";
  EXPECT_EQ(mainExStyle & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), 0);
  const LONG_PTR boxExStyle = GetWindowLongPtrW(boxWindow, GWL_EXSTYLE);
  EXPECT_NE(boxExStyle & WS_EX_TOOLWINDOW, 0) << "a box has none";
  EXPECT_NE(boxExStyle & WS_EX_TOPMOST, 0);
  EXPECT_EQ(GetWindow(boxWindow, GW_OWNER), mainWindow);
  wchar_t className[64] = {};
  GetClassNameW(boxWindow, className, 64);
  EXPECT_STREQ(className, L"BoxWindow");
  main.setTitle(L"Tarnwick \u5B89\u88C5");
  wchar_t title[64] = {};
  GetWindowTextW(mainWindow, title, 64);
  EXPECT_STREQ(title, L"Tarnwick \u5B89\u88C5");
}

TEST_F(WinHostTest, TheIconComesFromTheExecutablesIconResourceAtBothSizes) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  window.setIcon(108);  // no such resource: none
  EXPECT_EQ(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0);
  window.setIcon(107);
  const struct {
    WPARAM which;
    int metric;
  } sizes[] = {{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}};
  for (const auto& size : sizes) {
    auto icon = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, size.which, 0));
    ASSERT_NE(icon, nullptr) << size.which;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(size.metric)) << size.which;
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  }
}

TEST_F(WinHostTest, FrameWorkAreaAndCentring) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  window.host()->setFrame(Rect{40, 50, 340, 250});
  RECT r{};
  GetWindowRect(hwnd, &r);
  EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{40, 50, 340, 250}));
  EXPECT_EQ(window.host()->frame(), (Rect{40, 50, 340, 250}));
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const Rect area = window.host()->workArea();
  EXPECT_GT(area.width(), 300);
  EXPECT_GE(area.left, work.left);
  EXPECT_LE(area.right, work.right);
  window.centerWindow();
  const Rect centred = window.host()->frame();
  EXPECT_EQ(centred.width(), 300);
  EXPECT_LE(std::abs((centred.left - area.left) - (area.right - centred.right)), 1);
  EXPECT_LE(std::abs((centred.top - area.top) - (area.bottom - centred.bottom)), 1);
}

TEST_F(WinHostTest, TheSkinsCaptionAndSizeBoxAnswerTheHitTest) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  const Point ok = centreOf(window, L"ok");
  const Point close = centreOf(window, L"closebtn");
  const struct {
    const char* where;
    Point at;
    LRESULT code;
  } cases[] = {
      {"title", Point{60, 15}, HTCAPTION},
      {"close button on the caption", close, HTCLIENT},
      {"button below the caption", ok, HTCLIENT},
      {"left edge", Point{1, 100}, HTLEFT},
      {"right edge", Point{298, 100}, HTRIGHT},
      {"top edge", Point{150, 1}, HTTOP},
      {"bottom edge", Point{150, 198}, HTBOTTOM},
      {"top-left corner", Point{1, 1}, HTTOPLEFT},
      {"bottom-right corner", Point{298, 198}, HTBOTTOMRIGHT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, screenPoint(hwnd, c.at.x, c.at.y)), c.code) << c.where;
  }
  // A disabled window (a box over it) is neither dragged nor sized.
  window.enable(false);
  EXPECT_FALSE(IsWindowEnabled(hwnd));
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, screenPoint(hwnd, 60, 15)), HTCLIENT);
  // Its minimum size is the layout's.
  MINMAXINFO limits{};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 200);
  EXPECT_EQ(limits.ptMinTrackSize.y, 150);
}

// The pointer as a user moves it: events in the system's input queue.
void sendPointer(DWORD flags, POINT at = {}) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  if ((flags & MOUSEEVENTF_MOVE) != 0) {
    // Absolute moves are in 0..65535 of the primary screen.
    input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    flags |= MOUSEEVENTF_ABSOLUTE;
  }
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof(input));
}

TEST_F(WinHostTest, ARealDragOnTheCaptionMovesTheWindowWithoutAClick) {
  RecordingWindow window(L"host.xml");
  open(window);
  window.host()->setFrame(Rect{200, 150, 500, 350});
  drain();
  sendPointer(MOUSEEVENTF_MOVE, POINT{260, 165});
  sendPointer(MOUSEEVENTF_LEFTDOWN);
  sendPointer(MOUSEEVENTF_MOVE, POINT{280, 175});
  sendPointer(MOUSEEVENTF_MOVE, POINT{300, 195});
  sendPointer(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(pumpUntil([&] { return window.host()->frame().left == 240 && window.host()->frame().top == 180; }))
      << window.host()->frame().left << "," << window.host()->frame().top;
  drain();
  EXPECT_EQ(window.seen, std::vector<std::wstring>{}) << "a caption drag is no click";
}

TEST_F(WinHostTest, ARealClickAndTypedTextArriveThroughTheMessageLoop) {
  RecordingWindow window(L"host.xml");
  open(window);
  window.host()->setFrame(Rect{200, 150, 500, 350});
  drain();
  const Point edit = centreOf(window, L"edit");
  sendPointer(MOUSEEVENTF_MOVE, POINT{200 + edit.x, 150 + edit.y});
  sendPointer(MOUSEEVENTF_LEFTDOWN);
  sendPointer(MOUSEEVENTF_LEFTUP);
  auto* field = window.findControl<Edit>(L"edit");
  ASSERT_TRUE(pumpUntil([&] { return field->isFocused(); }));
  const std::wstring text = L"a\u00DF\u6F22\U0001D11E";
  for (wchar_t unit : text) {
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
      key.type = INPUT_KEYBOARD;
      key.ki.wScan = unit;
      key.ki.dwFlags = KEYEVENTF_UNICODE;
    }
    keys[1].ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
  }
  EXPECT_TRUE(pumpUntil([&] { return field->text() == text; })) << utility::wideToUtf8(field->text());
}

TEST_F(WinHostTest, TimersTickWithTheirIdsUntilStopped) {
  RecordingWindow window(L"host.xml");
  open(window);
  ASSERT_TRUE(window.setTimer(7, 10));
  ASSERT_TRUE(window.setTimer(8, 10));
  ASSERT_TRUE(pumpUntil([&] { return window.ticks[7] >= 2; }));
  window.killTimer(7);
  const int stopped = window.ticks[7];
  // Timer 8 keeps the clock: three more of its ticks and none of 7.
  const int start = window.ticks[8];
  ASSERT_TRUE(pumpUntil([&] { return window.ticks[8] >= start + 3; }));
  EXPECT_EQ(window.ticks[7], stopped);
}

TEST_F(WinHostTest, PaintsGoToADibOfTheScaledClientSizeAndInvalidationsCoalesce) {
  RecordingWindow window(L"host.xml");
  open(window);
  ASSERT_FALSE(paints.empty());
  const Paint& first = paints.front();
  EXPECT_EQ(first.bitmap, (Size{300, 200}));
  EXPECT_EQ(first.bitsPerPixel, 32);
  EXPECT_TRUE(first.topDown);
  EXPECT_EQ(first.dirty, (Rect{0, 0, 300, 200}));
  EXPECT_EQ(first.firstDirtyPixel, 0u) << "cleared to transparent";
  paints.clear();
  window.host()->invalidate(Rect{10, 10, 20, 20});
  window.host()->invalidate(Rect{50, 40, 60, 45});
  window.host()->invalidate(Rect{-5, 190, 5, 260});  // clipped to the window
  ASSERT_TRUE(pumpUntil([&] { return !paints.empty(); }));
  drain();
  ASSERT_EQ(paints.size(), 1u) << "one paint for the three";
  EXPECT_EQ(paints[0].dirty, (Rect{0, 10, 60, 200}));
  EXPECT_EQ(paints[0].firstDirtyPixel, 0u) << "what was painted there before is cleared";
}

TEST_F(WinHostTest, A192DpiMonitorGivesScaleTwoAndTheSuggestedFrame) {
  // The program's manifest and the host agree: per-monitor aware.
  EXPECT_TRUE(win::perMonitorAware());
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  window.host()->setFrame(Rect{20, 30, 320, 230});
  paints.clear();
  RECT suggested{40, 60, 640, 460};
  SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window.scaleFactor(), 2);
  RECT r{};
  GetWindowRect(hwnd, &r);
  EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{40, 60, 640, 460}));
  EXPECT_EQ(window.clientSize(), (Size{300, 200})) << "the layout keeps its size";
  EXPECT_EQ(window.host()->frame(), (Rect{20, 30, 320, 230})) << "in layout pixels";
  ASSERT_TRUE(pumpUntil([&] { return !paints.empty(); }));
  EXPECT_EQ(paints.back().bitmap, (Size{600, 400}));
  EXPECT_EQ(paints.back().dirty, (Rect{0, 0, 300, 200}));
  // Pointer positions are device pixels: halved for the layout.
  click(hwnd, centreOf(window, L"ok"));
  EXPECT_EQ(window.seen, (std::vector<std::wstring>{L"setfocus:ok", L"click:ok"}));
  MINMAXINFO limits{};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 400);
}

// The colour on the screen at |at| (screen device pixels), as 0xRRGGBB.
uint32_t screenPixel(POINT at) {
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

TEST_F(WinHostTest, ThePaintedPixelsAreWhatTheWindowShows) {
  struct Case {
    const char* what;
    GdiPaintHook painter;
    uint32_t shown;
  };
  const Case cases[] = {
      {"without a painter: white", nullptr, 0xFFFFFF},
      {"the painter's opaque pixels", [](HDC__* dc, WindowImplBase&, const Rect&) {
         DIBSECTION section{};
         GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof(section), &section);
         auto* bits = static_cast<uint32_t*>(section.dsBm.bmBits);
         std::fill(bits, bits + section.dsBm.bmWidth * section.dsBm.bmHeight, 0xFF268FD6u);
       }, 0x268FD6},
  };
  for (const Case& c : cases) {
    std::unique_ptr<WindowHostFactory> desktop = createDesktopHost(measurer, c.painter, layoutFile);
    RecordingWindow window(L"host.xml");
    ASSERT_TRUE(window.create(nullptr, L"pixels"));
    window.host()->setFrame(Rect{100, 100, 400, 300});
    window.show(ShowCommand::kShow);
    drain();
    const POINT inside{150, 150};
    EXPECT_TRUE(pumpUntil([&] { return screenPixel(inside) == c.shown; }))
        << c.what << ": " << std::hex << screenPixel(inside);
  }
}

struct KeyCase {
  const char* name;
  // Messages to the window: {message, wParam}.
  std::vector<std::pair<UINT, WPARAM>> messages;
  std::wstring text;
};

class WinHostKeyTest : public WinHostTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(WinHostKeyTest, KeysAndCharactersReachTheFocusedEdit) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  click(hwnd, centreOf(window, L"edit"));
  auto* edit = window.findControl<Edit>(L"edit");
  ASSERT_TRUE(edit->isFocused());
  for (const auto& [message, wParam] : GetParam().messages) SendMessageW(hwnd, message, wParam, 1);
  EXPECT_EQ(edit->text(), GetParam().text) << utility::wideToUtf8(edit->text());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinHostKeyTest,
    ::testing::Values(
        // A letter key types its character (WM_CHAR), not a key and a character.
        KeyCase{"typed", {{WM_KEYDOWN, 'A'}, {WM_CHAR, L'a'}, {WM_KEYDOWN, VK_SPACE}, {WM_CHAR, L' '}, {WM_CHAR, L'b'}}, L"a b"},
        KeyCase{"backspace", {{WM_CHAR, L'a'}, {WM_CHAR, L'b'}, {WM_KEYDOWN, VK_BACK}, {WM_CHAR, 0x08}}, L"a"},
        KeyCase{"left_then_insert", {{WM_CHAR, L'a'}, {WM_CHAR, L'c'}, {WM_KEYDOWN, VK_LEFT}, {WM_CHAR, L'b'}}, L"abc"},
        KeyCase{"surrogate_pair", {{WM_CHAR, 0xD83D}, {WM_CHAR, 0xDE00}, {WM_CHAR, L'!'}}, L"\U0001F600!"},
        KeyCase{"cjk", {{WM_CHAR, 0x6F22}, {WM_CHAR, 0x5B57}}, L"\u6F22\u5B57"},
        KeyCase{"unichar", {{WM_UNICHAR, 0x1D11E}}, L"\U0001D11E"},
        KeyCase{"enter_is_no_text", {{WM_CHAR, L'x'}, {WM_KEYDOWN, VK_RETURN}, {WM_CHAR, L'\r'}}, L"x"}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST_F(WinHostTest, TabMovesTheFocusAsOnLinuxAndEnterPressesTheButton) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  click(hwnd, centreOf(window, L"edit"));
  window.seen.clear();
  SendMessageW(hwnd, WM_KEYDOWN, VK_SHIFT, 1);
  // Shift+Tab from the edit: back to the button.
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 1);
  keys[VK_SHIFT] = 0;
  SetKeyboardState(keys);
  SendMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_EQ(window.seen, (std::vector<std::wstring>{L"killfocus:edit", L"setfocus:ok", L"click:ok"}));
}

TEST_F(WinHostTest, TheClipboardCarriesUnicodeTextBothWays) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  for (const std::wstring text : {std::wstring(L"C:\\Games\\Tarnwick"), std::wstring(L"\u6E38\u620F \U0001D11E \u0639\u0631\u0628\u064A")}) {
    window.host()->setClipboardText(text);
    EXPECT_EQ(window.host()->clipboardText(), text);
    // Another program sees it as CF_UNICODETEXT.
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))), text);
    GlobalUnlock(data);
    CloseClipboard();
  }
  // Ctrl+V in the edit pastes it.
  click(hwnd, centreOf(window, L"edit"));
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(hwnd, WM_KEYDOWN, 'V', 1);
  SendMessageW(hwnd, WM_CHAR, 0x16, 1);  // what Ctrl+V also types: no text
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(window.findControl<Edit>(L"edit")->text(), L"\u6E38\u620F \U0001D11E \u0639\u0631\u0628\u064A");
}

TEST_F(WinHostTest, TheInputMethodComposesAtTheCaretAndItsResultIsTyped) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  click(hwnd, centreOf(window, L"edit"));
  SendMessageW(hwnd, WM_CHAR, L'a', 1);
  SendMessageW(hwnd, WM_CHAR, L'b', 1);
  auto* edit = window.findControl<Edit>(L"edit");
  SendMessageW(hwnd, WM_IME_STARTCOMPOSITION, 0, 0);
  HIMC context = ImmGetContext(hwnd);
  ASSERT_NE(context, nullptr) << "an edit has the input method";
  COMPOSITIONFORM composition{};
  ASSERT_TRUE(ImmGetCompositionWindow(context, &composition));
  // Two characters of 7 pixels after the edit's left edge.
  EXPECT_EQ(composition.ptCurrentPos.x, edit->rect().left + edit->textPadding().left + 14);
  EXPECT_EQ(composition.ptCurrentPos.y, edit->rect().top);
  // A result string comes in as typed text, once.
  const std::wstring result = L"\u6F22\u5B57";
  if (!ImmSetCompositionStringW(context, SCS_SETSTR, const_cast<wchar_t*>(result.c_str()),
                                static_cast<DWORD>(result.size() * sizeof(wchar_t)), nullptr, 0)) {
    ImmReleaseContext(hwnd, context);
    GTEST_SKIP() << "this system's input method takes no composition string";
  }
  ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_COMPLETE, 0);
  ImmReleaseContext(hwnd, context);
  drain();
  EXPECT_EQ(edit->text(), L"ab\u6F22\u5B57") << utility::wideToUtf8(edit->text());
  // Away from text controls there is no input method.
  click(hwnd, centreOf(window, L"ok"));
  HIMC none = ImmGetContext(hwnd);
  EXPECT_EQ(none, nullptr);
  if (none != nullptr) ImmReleaseContext(hwnd, none);
}

HWND dropListOf(HWND owner) {
  struct Search {
    HWND owner;
    HWND found;
  } search{owner, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[32] = {};
        GetClassNameW(hwnd, name, 32);
        if (GetWindow(hwnd, GW_OWNER) == s->owner && _wcsicmp(name, L"ListBox") == 0 && IsWindowVisible(hwnd)) {
          s->found = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct DropCase {
  const char* name;
  std::function<void(HWND list)> act;
  int selected;
};

class WinHostDropListTest : public WinHostTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(WinHostDropListTest, TheComboChoosesFromItsDropList) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  auto* combo = window.findControl<Combo>(L"combo");
  ASSERT_TRUE(combo->selectItem(0));
  click(hwnd, centreOf(window, L"combo"));
  const HWND list = dropListOf(hwnd);
  ASSERT_NE(list, nullptr) << "the list is open";
  RECT listRect{};
  GetWindowRect(list, &listRect);
  POINT comboBottom{0, combo->rect().bottom};
  ClientToScreen(hwnd, &comboBottom);
  EXPECT_EQ(listRect.top, comboBottom.y) << "below the combo";
  EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
  GetParam().act(list);
  drain();
  EXPECT_FALSE(IsWindow(list)) << "the list closes";
  EXPECT_EQ(combo->selectedIndex(), GetParam().selected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinHostDropListTest,
    ::testing::Values(
        DropCase{"keyboard",
                 [](HWND list) {
                   SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
                   SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
                   SendMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
                 },
                 2},
        DropCase{"pointer",
                 [](HWND list) {
                   RECT item{};
                   SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
                   const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
                   SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
                   SendMessageW(list, WM_LBUTTONUP, 0, at);
                 },
                 1},
        DropCase{"escape", [](HWND list) {
                   SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
                   SendMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
                 },
                 0},
        DropCase{"focus_elsewhere", [](HWND list) { SetFocus(GetWindow(list, GW_OWNER)); }, 0}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

TEST_F(WinHostTest, AModalBoxDisablesItsOwnerUntilItCloses) {
  RecordingWindow main(L"host.xml");
  open(main);
  RecordingWindow box(L"box.xml", L"BoxWindow");
  WindowStyle style;
  style.toolWindow = true;
  ASSERT_TRUE(box.create(&main, L"box", style));
  bool ownerEnabledDuring = true;
  box.onTimer = [&](uint32_t) {
    ownerEnabledDuring = IsWindowEnabled(hwndOf(main)) != FALSE;
    // The user presses the box's button.
    click(hwndOf(box), centreOf(box, L"yes"));
  };
  box.onNotify = [&](std::wstring_view type, Control&) {
    if (type == L"click") box.close(5);
  };
  ASSERT_TRUE(box.setTimer(1, 10));
  EXPECT_EQ(box.showModal(), 5);
  EXPECT_FALSE(ownerEnabledDuring);
  EXPECT_TRUE(IsWindowEnabled(hwndOf(main)));
  EXPECT_FALSE(box.isWindow());
}

TEST_F(WinHostTest, AQuitOfTheMainLoopEndsAModalLoopAndStaysForTheMainLoop) {
  RecordingWindow main(L"host.xml");
  open(main);
  RecordingWindow box(L"box.xml", L"BoxWindow");
  ASSERT_TRUE(box.create(&main, L"box"));
  box.onTimer = [&](uint32_t) { utility::MainLoop::quit(); };
  ASSERT_TRUE(box.setTimer(1, 10));
  EXPECT_EQ(box.showModal(), -1);
  EXPECT_TRUE(IsWindowEnabled(hwndOf(main)));
  EXPECT_TRUE(utility::MainLoop::quitRequested());
}

TEST_F(WinHostTest, TheSystemsCloseIsACloseRequest) {
  const struct {
    const char* how;
    bool enabled;
    std::function<void(HWND)> close;
    bool closes;
  } cases[] = {
      {"WM_CLOSE", true, [](HWND hwnd) { SendMessageW(hwnd, WM_CLOSE, 0, 0); }, true},
      {"Alt+F4", true, [](HWND hwnd) { SendMessageW(hwnd, WM_SYSKEYDOWN, VK_F4, 1 << 29); }, true},
      {"WM_CLOSE to a window with a box over it", false, [](HWND hwnd) { SendMessageW(hwnd, WM_CLOSE, 0, 0); }, false},
  };
  for (const auto& c : cases) {
    RecordingWindow window(L"host.xml");
    open(window);
    window.enable(c.enabled);
    c.close(hwndOf(window));
    ASSERT_TRUE(pumpUntil([&] { return !c.closes || !window.isWindow(); })) << c.how;
    drain();
    EXPECT_EQ(!window.isWindow(), c.closes) << c.how;
    EXPECT_EQ(window.destroyed, c.closes) << c.how;
  }
}

TEST_F(WinHostTest, TheSessionsEndEndsTheRunInOrder) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  EXPECT_EQ(SendMessageW(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE) << "the session may end";
  // A session that does not end after all changes nothing.
  SendMessageW(hwnd, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(utility::MainLoop::quitRequested());
  // Without the program's own end: the main loop ends, as a termination signal ends it.
  SendMessageW(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  utility::MainLoop::resetForTesting();
}

TEST_F(WinHostTest, TheSessionsEndRunsTheProgramsEndOnce) {
  int ends = 0;
  setSessionEndHandler([&] { ends += 1; });
  RecordingWindow main(L"host.xml");
  open(main);
  RecordingWindow other(L"box.xml", L"BoxWindow");
  ASSERT_TRUE(other.create(nullptr, L"other"));
  SendMessageW(hwndOf(main), WM_ENDSESSION, TRUE, 0);
  SendMessageW(hwndOf(other), WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(utility::MainLoop::quitRequested()) << "the program's end decides";
}

TEST_F(WinHostTest, BringToFrontRestoresRaisesAndLeavesTheWindowNotTopmost) {
  RecordingWindow other(L"box.xml", L"BoxWindow");
  RecordingWindow window(L"host.xml");
  open(window);
  open(other);
  window.show(ShowCommand::kMinimize);
  drain();
  ASSERT_TRUE(IsIconic(hwndOf(window)));
  window.bringToFront();
  drain();
  const HWND hwnd = hwndOf(window);
  EXPECT_FALSE(IsIconic(hwnd));
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << "not left topmost";
  // Above the other window of the program.
  bool aboveOther = false;
  for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == hwnd) {
      aboveOther = true;
      break;
    }
    if (w == hwndOf(other)) break;
  }
  EXPECT_TRUE(aboveOther);
  // A window a box holds disabled is restored too.
  window.show(ShowCommand::kMinimize);
  window.enable(false);
  window.bringToFront();
  EXPECT_FALSE(IsIconic(hwnd));
  // A topmost window is only shown.
  window.setTopmost(true);
  window.bringToFront();
  EXPECT_NE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST_F(WinHostTest, HoveringShowsTheToolTipAndThePointerShape) {
  RecordingWindow window(L"host.xml");
  open(window);
  const HWND hwnd = hwndOf(window);
  const Point ok = centreOf(window, L"ok");
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(ok.x, ok.y));
  HWND tip = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM data) -> BOOL {
        wchar_t name[64] = {};
        GetClassNameW(w, name, 64);
        if (_wcsicmp(name, L"tooltips_class32") == 0) {
          *reinterpret_cast<HWND*>(data) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&tip));
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(GetWindow(tip, GW_OWNER), hwnd);
  wchar_t text[64] = {};
  TTTOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = hwnd;
  info.uId = 1;
  info.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&info));
  EXPECT_STREQ(text, L"Press me");
  EXPECT_TRUE(IsWindowVisible(tip));
  // Over the edit: no tip, the text cursor.
  const Point edit = centreOf(window, L"edit");
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(edit.x, edit.y));
  EXPECT_FALSE(IsWindowVisible(tip));
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_IBEAM));
}

TEST_F(WinHostTest, ABrokenLayoutShowsTheDuilibBoxAndExitsWithCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // Someone presses the box's button once it is on screen.
        std::thread user([] {
          for (int i = 0; i < 2000; ++i) {
            if (HWND box = FindWindowW(nullptr, L"Duilib")) {
              PostMessageW(box, WM_COMMAND, IDOK, 0);
              return;
            }
            Sleep(10);
          }
        });
        user.detach();
        RecordingWindow broken(L"broken.xml");
        broken.create(nullptr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "Duilib: load resource errr\\. location:broken\\.xml");
}

// Presses |button| of the folder chooser titled |title| once it is on screen, with |typed| in its
// name field; what the owner's enabled state was then goes to |ownerEnabled|.
std::thread pressWhenShown(std::wstring title, int button, HWND owner, bool& ownerEnabled, std::wstring typed = {}) {
  return std::thread([title, button, owner, &ownerEnabled, typed] {
    for (int i = 0; i < 3000; ++i) {
      HWND dialog = FindWindowW(nullptr, title.c_str());
      if (dialog != nullptr && IsWindowVisible(dialog) && IsWindowEnabled(dialog)) {
        ownerEnabled = IsWindowEnabled(owner) != FALSE;
        constexpr int kNameField = 1152;
        if (!typed.empty()) SendMessageW(GetDlgItem(dialog, kNameField), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
        HWND pressed = GetDlgItem(dialog, button);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(pressed));
        return;
      }
      Sleep(10);
    }
  });
}

TEST_F(WinHostTest, TheFolderChooserOpensAtTheStartFolderModalToItsOwner) {
  RecordingWindow window(L"host.xml");
  open(window);
  testsupport::TempFolder temp("chooser");
  const std::filesystem::path start = temp.path() / L"\u9009\u62E9 \u00D6rdner";
  std::filesystem::create_directories(start / L"\u5B50");
  const std::string startText = utility::wideToUtf8(start.wstring());
  const struct {
    const char* what;
    int button;
    std::wstring typed;  // a name in the folder the chooser opened at
    std::optional<std::string> chosen;
  } cases[] = {{"cancelled", IDCANCEL, L"", std::nullopt},
               {"accepted", IDOK, L"\u5B50", utility::wideToUtf8((start / L"\u5B50").wstring())}};
  for (const auto& c : cases) {
    bool ownerEnabled = true;
    std::thread user = pressWhenShown(L"Choose a folder", c.button, hwndOf(window), ownerEnabled, c.typed);
    const std::optional<std::string> chosen = host->chooseFolder(window.host(), L"Choose a folder", startText);
    user.join();
    EXPECT_EQ(chosen, c.chosen) << c.what;
    EXPECT_FALSE(ownerEnabled) << c.what << ": modal to the window";
    EXPECT_TRUE(IsWindowEnabled(hwndOf(window))) << c.what;
  }
}

}  // namespace
}  // namespace toolkit::testing
