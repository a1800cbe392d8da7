// The window base through the headless host: loading and initWindow, the control builder, the
// broken-layout exit, default notifications, timers, modal boxes, window operations, caption
// and size box, shared fonts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/toolkit/window/window_test_support.h"

namespace toolkit::testing {
namespace {

using Seen = std::vector<std::wstring>;

constexpr const wchar_t* kMainLayout = LR"(<Window size="400,320" caption="0,0,400,30" sizebox="4,4,4,4">
  <Font id="1" name="Sans" size="12" default="true"/>
  <Font id="2" name="Sans" size="14"/>
  <VerticalLayout name="body">
    <HorizontalLayout height="30" name="titlebar">
      <Label name="titlename" text="Title"/>
      <Button name="minbtn" width="30"/>
      <Button name="closebtn" width="30"/>
      <Button name="offbtn" width="30" enabled="false"/>
    </HorizontalLayout>
    <Button name="ok" height="30" text="OK"/>
    <HorizontalLayout name="bottombar" height="30">
      <Control name="left"/>
      <Control name="right"/>
    </HorizontalLayout>
    <Control/>
  </VerticalLayout>
</Window>)";

constexpr const wchar_t* kBoxLayout = LR"(<Window size="200,100">
  <VerticalLayout>
    <Button name="okbtn" height="30"/>
    <Button name="closebtn" height="30"/>
  </VerticalLayout>
</Window>)";

class WindowBaseTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    desktop.addLayout(L"main.xml", kMainLayout);
    desktop.addLayout(L"common/box.xml", kBoxLayout);
    desktop.addLayout(L"custom.xml", LR"(<Window size="200,100">
      <VerticalLayout>
        <Selection name="sel" text="Go" height="30"/>
      </VerticalLayout>
    </Window>)");
  }
};

// A window that names a tag nobody builds.
class PlainWindow : public RecordingWindow {
 public:
  using RecordingWindow::RecordingWindow;
  std::unique_ptr<Control> createControl(std::wstring_view /*tag*/) override { return nullptr; }
};

constexpr const wchar_t* kUnknownSelection =
    L"load resource errr. location:custom.xml:/Window/VerticalLayout[1]/Selection[1] "
    L"msg:unknown element \"Selection\"";

TEST_F(WindowBaseTest, InitWindowRunsOnceAfterTheLayoutLoadsAndBeforeShowing) {
  RecordingWindow window(L"main.xml");
  EXPECT_FALSE(window.isWindow());
  ASSERT_TRUE(window.create(nullptr, L"Main"));
  EXPECT_EQ(window.initRuns, 1);
  EXPECT_TRUE(window.initSawLayout);
  EXPECT_TRUE(window.initWhileHidden);
  EXPECT_FALSE(window.create(nullptr)) << "a window is created once";
  EXPECT_EQ(window.initRuns, 1);
  EXPECT_EQ(window.description().size, (Size{400, 320}));
  EXPECT_EQ(window.clientSize(), (Size{400, 320}));
  EXPECT_EQ(window.findControl(L"ok")->rect(), (Rect{0, 30, 400, 60})) << "laid out at once";
  EXPECT_EQ(window.findControl(L"nothing"), nullptr);
  EXPECT_EQ(desktop.hostOf(window)->title(), L"Main");

  // The skin folder comes before the file name.
  RecordingWindow box(L"box.xml");
  box.folder = L"common";
  ASSERT_TRUE(box.create(nullptr));
  EXPECT_NE(box.findControl(L"okbtn"), nullptr);
}

TEST_F(WindowBaseTest, TheControlBuilderMakesTheWindowsOwnClassesByTag) {
  RecordingWindow window(L"custom.xml");
  HeadlessWindow& h = open(window);
  auto* selection = window.findControl<SelectionButton>(L"sel");
  ASSERT_NE(selection, nullptr);
  EXPECT_EQ(selection->className(), L"Selection");
  EXPECT_EQ(selection->text(), L"Go");
  h.click(L"sel");
  EXPECT_EQ(window.seen, (Seen{L"setfocus:sel", L"click:sel"}));

  // Built at run time, as a box adds its buttons: found, laid out and clickable.
  auto* column = window.root()->asContainer();
  ASSERT_NE(column, nullptr);
  auto added = std::make_unique<SelectionButton>();
  added->setName(L"runtime");
  added->setFixedHeight(30);
  column->add(std::move(added));
  h.click(L"runtime");
  EXPECT_EQ(window.seen.back(), L"click:runtime");

  // Without the builder the tag is a broken layout.
  PlainWindow plain(L"custom.xml");
  EXPECT_FALSE(plain.create(nullptr));
  EXPECT_FALSE(plain.isWindow());
  EXPECT_EQ(plain.initRuns, 0);
  EXPECT_EQ(desktop.brokenLayouts(), (Seen{kUnknownSelection}));
}

TEST_F(WindowBaseTest, ABrokenLayoutReportsItsLocation) {
  desktop.addLayout(L"broken.xml", L"<Window size=\"10,10\">\n<VerticalLayout>\n<Button colour=\"red\"/>\n");
  desktop.addLayout(L"badattr.xml",
                    L"<Window size=\"10,10\"><VerticalLayout><Button colour=\"red\"/></VerticalLayout></Window>");
  RecordingWindow notWellFormed(L"broken.xml");
  RecordingWindow badAttribute(L"badattr.xml");
  RecordingWindow missing(L"missing.xml");
  EXPECT_FALSE(notWellFormed.create(nullptr));
  EXPECT_FALSE(badAttribute.create(nullptr));
  EXPECT_FALSE(missing.create(nullptr));
  EXPECT_EQ(desktop.brokenLayouts(),
            (Seen{L"load resource errr. location:broken.xml:4 msg:element not closed at the end",
                  L"load resource errr. location:badattr.xml:/Window/VerticalLayout[1]/Button[1] "
                  L"msg:unknown attribute \"colour\" of Button",
                  L"load resource errr. location:missing.xml msg:cannot read the layout"}));
  EXPECT_TRUE(desktop.windows().empty()) << "no window for a broken layout";
}

TEST_F(WindowBaseTest, ABrokenLayoutEndsTheProcessWithExitCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        desktop.setBrokenLayout(HeadlessDesktop::BrokenLayout::kExit);
        PlainWindow plain(L"custom.xml");
        plain.create(nullptr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1),
      "Duilib: load resource errr\\. location:custom\\.xml:/Window/VerticalLayout\\[1\\]/"
      "Selection\\[1\\] msg:unknown element \"Selection\"");
}

TEST_F(WindowBaseTest, CloseAndMinimiseButtonsHaveDefaults) {
  RecordingWindow window(L"main.xml");
  HeadlessWindow& h = open(window);
  h.click(L"minbtn");
  EXPECT_TRUE(h.isMinimized());
  window.show(ShowCommand::kRestore);
  EXPECT_FALSE(h.isMinimized());

  h.click(L"closebtn");
  EXPECT_TRUE(window.isWindow()) << "the close is posted";
  ASSERT_TRUE(pumpUntil([&] { return !window.isWindow(); }));
  EXPECT_EQ(window.resultCode(), kResultOk);
  EXPECT_TRUE(window.destroyed);
  EXPECT_EQ(window.finalMessages, 1);
  EXPECT_EQ(desktop.hostOf(window), nullptr);
  // Nothing more reaches a closed window.
  window.close(3);
  window.show(ShowCommand::kShow);
  EXPECT_FALSE(window.setTimer(1, 10));
  drain();
  EXPECT_EQ(window.finalMessages, 1);
  EXPECT_EQ(window.resultCode(), kResultOk);
  EXPECT_FALSE(window.create(nullptr)) << "one window in an object's life";

  // The window manager's close gives 0; a disabled window (a box over it) waits for the box.
  RecordingWindow other(L"main.xml");
  HeadlessWindow& otherHost = open(other);
  other.enable(false);
  otherHost.requestClose();
  EXPECT_TRUE(other.isWindow());
  other.enable(true);
  otherHost.requestClose();
  EXPECT_FALSE(other.isWindow());
  EXPECT_EQ(other.resultCode(), 0);
}

TEST_F(WindowBaseTest, OwnedWindowsGoBeforeTheirOwner) {
  Seen order;
  auto main = std::make_unique<RecordingWindow>(L"main.xml", L"main");
  RecordingWindow first(L"box.xml", L"first");
  RecordingWindow second(L"box.xml", L"second");
  RecordingWindow closedEarlier(L"box.xml", L"closedEarlier");
  for (RecordingWindow* w : {main.get(), &first, &second, &closedEarlier}) {
    w->folder = w == main.get() ? L"" : L"common";
    w->onDestroy = [&order, w] { order.push_back(w->windowClassName()); };
  }
  open(*main);
  open(first, main.get());
  open(second, main.get());
  open(closedEarlier, main.get()).requestClose();
  {
    // An owned window object that goes without closing leaves its owner nothing to reach.
    RecordingWindow shortLived(L"box.xml");
    shortLived.folder = L"common";
    ASSERT_TRUE(shortLived.create(main.get()));
  }
  main->close();
  ASSERT_TRUE(pumpUntil([&] { return !main->isWindow(); }));
  EXPECT_EQ(order, (Seen{L"closedEarlier", L"second", L"first", L"main"}));
  EXPECT_FALSE(first.isWindow());
  EXPECT_EQ(first.finalMessages, 1);
  EXPECT_EQ(first.owner(), nullptr);
  // The owner object may go before its owned ones.
  RecordingWindow orphan(L"box.xml");
  orphan.folder = L"common";
  auto owner = std::make_unique<RecordingWindow>(L"main.xml");
  open(*owner);
  open(orphan, owner.get());
  owner.reset();
  EXPECT_EQ(orphan.owner(), nullptr);
  orphan.centerWindow();
  EXPECT_EQ(desktop.hostOf(orphan)->frame(), (Rect{860, 470, 1060, 570}));
}

TEST_F(WindowBaseTest, TimersDeliverByIdUntilKilled) {
  RecordingWindow window(L"main.xml");
  RecordingWindow closing(L"main.xml");
  HeadlessWindow& h = open(window);
  open(closing);
  EXPECT_FALSE(window.setTimer(1, 0));
  ASSERT_TRUE(window.setTimer(7, 1));
  ASSERT_TRUE(window.setTimer(8, 2));
  ASSERT_TRUE(window.setTimer(9, 1));
  ASSERT_TRUE(closing.setTimer(7, 1));
  // Timer 9 kills itself on its second tick, as an animation at its end does.
  window.onTimer = [&](uint32_t id) {
    if (id == 9 && window.ticks[9] == 2) window.killTimer(9);
  };
  EXPECT_TRUE(h.timerRunning(7));
  ASSERT_TRUE(pumpUntil([&] { return window.ticks[7] >= 3 && window.ticks[9] >= 2 && closing.ticks[7] >= 1; }));
  window.killTimer(7);
  closing.close();
  ASSERT_TRUE(pumpUntil([&] { return !closing.isWindow(); }));
  EXPECT_FALSE(h.timerRunning(7));
  EXPECT_FALSE(h.timerRunning(9));
  EXPECT_TRUE(h.timerRunning(8));
  const int seven = window.ticks[7];
  const int closed = closing.ticks[7];
  // Timer 8 keeps going while the killed ones stay quiet.
  const int eight = window.ticks[8];
  ASSERT_TRUE(pumpUntil([&] { return window.ticks[8] >= eight + 3; }));
  EXPECT_EQ(window.ticks[7], seven);
  EXPECT_EQ(window.ticks[9], 2);
  EXPECT_EQ(closing.ticks[7], closed);
}

TEST_F(WindowBaseTest, AModalBoxDisablesItsOwnerAndReturnsItsResult) {
  RecordingWindow main(L"main.xml");
  HeadlessWindow& mainHost = open(main);
  RecordingWindow box(L"box.xml", L"MessageBoxWindow");
  box.folder = L"common";
  box.onNotify = [&](std::wstring_view type, Control& sender) {
    if (type == L"click" && sender.name() == L"okbtn") box.close(5);
  };
  ASSERT_TRUE(box.create(&main, {}, WindowStyle{true, true}));
  HeadlessWindow* boxHost = desktop.hostOf(box);
  ASSERT_NE(boxHost, nullptr);
  EXPECT_EQ(boxHost->owner(), &mainHost);
  EXPECT_TRUE(boxHost->topmost());
  bool ownerWasDisabled = false;
  desktop.onNextModalLoop([&] {
    ownerWasDisabled = !main.isEnabled() && !mainHost.enabled();
    EXPECT_TRUE(boxHost->isVisible());
    EXPECT_TRUE(boxHost->active());
    mainHost.click(L"ok");  // the owner takes nothing meanwhile
    boxHost->click(L"okbtn");
  });
  EXPECT_EQ(box.showModal(), 5);
  EXPECT_TRUE(ownerWasDisabled);
  EXPECT_TRUE(main.isEnabled());
  EXPECT_TRUE(mainHost.enabled());
  EXPECT_FALSE(box.isWindow());
  EXPECT_EQ(main.seen, Seen{});
  EXPECT_EQ(desktop.modalLoops(), 1);

  // The box's close button gives the default result; a loop nothing ends gives up with -1.
  RecordingWindow second(L"box.xml");
  second.folder = L"common";
  ASSERT_TRUE(second.create(&main));
  desktop.onNextModalLoop([&] { desktop.hostOf(second)->click(L"closebtn"); });
  EXPECT_EQ(second.showModal(), kResultOk);
  RecordingWindow stalled(L"box.xml");
  stalled.folder = L"common";
  ASSERT_TRUE(stalled.create(&main));
  EXPECT_EQ(stalled.showModal(), -1);
  EXPECT_FALSE(stalled.isWindow());
  EXPECT_TRUE(main.isEnabled());
  EXPECT_EQ(stalled.showModal(), -1) << "a closed window runs no loop";
}

TEST_F(WindowBaseTest, ShowRaiseTopmostAndCentre) {
  RecordingWindow a(L"main.xml");
  RecordingWindow b(L"main.xml");
  ASSERT_TRUE(a.create(nullptr));
  ASSERT_TRUE(b.create(nullptr));
  HeadlessWindow& ha = *desktop.hostOf(a);
  HeadlessWindow& hb = *desktop.hostOf(b);
  EXPECT_FALSE(ha.isVisible());
  a.setTitle(L"Installer");
  a.setIcon(107);
  EXPECT_EQ(ha.title(), L"Installer");
  EXPECT_EQ(a.title(), L"Installer");
  EXPECT_EQ(ha.icon(), 107);
  EXPECT_EQ(a.scaleFactor(), 1);
  desktop.scaleFactor = 2;
  EXPECT_EQ(a.scaleFactor(), 2);

  a.showWindow();
  b.showWindow(true, false);
  EXPECT_TRUE(ha.active());
  EXPECT_EQ(desktop.stacking(), (std::vector<HeadlessWindow*>{&ha, &hb}));
  a.bringToTop();
  EXPECT_EQ(desktop.stacking(), (std::vector<HeadlessWindow*>{&hb, &ha}));
  b.setTopmost(true);
  a.bringToTop();
  EXPECT_EQ(desktop.stacking(), (std::vector<HeadlessWindow*>{&ha, &hb})) << "topmost stays above";
  b.setTopmost(false);
  a.minimize();
  EXPECT_EQ(desktop.activeWindow(), nullptr);
  a.bringToFront();
  EXPECT_FALSE(ha.isMinimized());
  EXPECT_TRUE(ha.active());
  a.showWindow(false);
  EXPECT_FALSE(ha.isVisible());
  EXPECT_FALSE(ha.active());

  // Centred on the work area without an owner.
  a.showWindow();
  a.centerWindow();
  EXPECT_EQ(ha.frame(), (Rect{760, 360, 1160, 680}));
  // On a shown owner, kept inside the work area.
  RecordingWindow box(L"box.xml");
  box.folder = L"common";
  ASSERT_TRUE(box.create(&a));
  HeadlessWindow& hbox = *desktop.hostOf(box);
  box.centerWindow();
  EXPECT_EQ(hbox.frame(), (Rect{860, 470, 1060, 570}));
  ha.setFrame(Rect{1800, -200, 2200, 120});
  box.centerWindow();
  EXPECT_EQ(hbox.frame(), (Rect{1720, 0, 1920, 100}));
  a.showWindow(false);
  box.centerWindow();
  EXPECT_EQ(hbox.frame(), (Rect{860, 470, 1060, 570})) << "a hidden owner: the work area";
}

TEST_F(WindowBaseTest, CaptionDragsAndSizeBoxEdges) {
  RecordingWindow window(L"main.xml");
  HeadlessWindow& h = open(window);
  Point title;
  Point minimise;
  Point disabled;
  ASSERT_TRUE(h.centreOf(L"titlename", title));
  ASSERT_TRUE(h.centreOf(L"minbtn", minimise));
  ASSERT_TRUE(h.centreOf(L"offbtn", disabled));
  struct Case {
    Point at;
    WindowArea area;
  };
  const Case cases[] = {
      {title, WindowArea::kCaption},       {minimise, WindowArea::kClient},
      {disabled, WindowArea::kCaption},    {Point{200, 100}, WindowArea::kClient},
      {Point{1, 100}, WindowArea::kLeft},  {Point{398, 100}, WindowArea::kRight},
      {Point{200, 2}, WindowArea::kTop},   {Point{200, 317}, WindowArea::kBottom},
      {Point{0, 0}, WindowArea::kTopLeft}, {Point{399, 319}, WindowArea::kBottomRight},
      {Point{399, 0}, WindowArea::kTopRight}, {Point{0, 319}, WindowArea::kBottomLeft},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window.areaAt(c.at), c.area) << c.at.x << "," << c.at.y;
  }
  const Rect before = h.frame();
  EXPECT_FALSE(h.dragCaption(minimise, Point{minimise.x + 50, minimise.y + 20}));
  EXPECT_EQ(h.frame(), before);
  EXPECT_TRUE(h.dragCaption(title, Point{title.x + 50, title.y + 20}));
  EXPECT_EQ(h.frame(), (Rect{before.left + 50, before.top + 20, before.right + 50, before.bottom + 20}));
}

TEST_F(WindowBaseTest, LayoutFontsWinAndTheWindowsSharedFontsFillTheOtherIds) {
  RecordingWindow window(L"main.xml");
  window.onInit = [](WindowImplBase& w) {
    w.addFont(FontDescription{2, L"Window Face", 20});
    w.addFont(FontDescription{5, L"Window Face", 22});
    w.setDefaultFont(FontDescription{-1, L"Default Face", 13});
  };
  ASSERT_TRUE(window.create(nullptr));
  struct Case {
    int id;
    const wchar_t* face;
    int size;
  };
  // The layout declares 1 (its default) and 2.
  const Case cases[] = {{1, L"Sans", 12}, {2, L"Sans", 14}, {5, L"Window Face", 22},
                        {9, L"Sans", 12}, {-1, L"Sans", 12}};
  for (const Case& c : cases) {
    const FontDescription* font = window.font(c.id);
    ASSERT_NE(font, nullptr) << c.id;
    EXPECT_EQ(font->face, c.face) << c.id;
    EXPECT_EQ(font->size, c.size) << c.id;
    EXPECT_EQ(window.fonts().font(c.id), *font) << "one table for layout and painting";
  }

  // A layout without fonts: the shared default stands, else the built-in one.
  RecordingWindow box(L"box.xml");
  box.folder = L"common";
  ASSERT_TRUE(box.create(nullptr));
  EXPECT_EQ(*box.font(-1), FontTable::builtinDefault());
  box.setDefaultFont(FontDescription{-1, L"Default Face", 13});
  box.addFont(FontDescription{3, L"Window Face", 16});
  EXPECT_EQ(box.font(-1)->face, L"Default Face");
  EXPECT_EQ(box.font(7)->face, L"Default Face");
  EXPECT_EQ(box.font(3)->size, 16);
}

TEST_F(WindowBaseTest, ScreenshotsGoThroughTheRegisteredRenderer) {
  RecordingWindow window(L"main.xml");
  HeadlessWindow& h = open(window);
  EXPECT_FALSE(h.screenshot("unused.png")) << "no renderer linked";
  std::string path;
  WindowImplBase* painted = nullptr;
  setHeadlessRenderer([&](WindowImplBase& w, const std::string& png) {
    painted = &w;
    path = png;
    return true;
  });
  EXPECT_TRUE(h.screenshot("shot.png"));
  setHeadlessRenderer(nullptr);
  EXPECT_EQ(painted, &window);
  EXPECT_EQ(path, "shot.png");
}

}  // namespace
}  // namespace toolkit::testing
