// The installer's windows read and used as a screen reader user does, over AT-SPI on a private
// accessibility bus, against the stand-in services: each page and box with its roles, names and
// states, "click" and "toggle" performed through AT-SPI, the download started that way and its
// progress read as it moves.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/app/installer_against_services.h"
#include "tests/support/accessibility_bus.h"

namespace {

using namespace testsupport::atspi;
using testsupport::Accessible;

struct Expected {
  const char* role;
  const char* name;
  std::vector<AtspiStateType> present;
  std::vector<AtspiStateType> absent;
};

class AccessibleInstaller : public InstallerAgainstServices {
 protected:
  AccessibleInstaller() : InstallerAgainstServices(servedEmulator()) {}
  static standin::Options servedEmulator() {
    standin::Options options;
    options.installerFile = STANDIN_EMULATOR;
    options.installerSize = 8u << 20;
    return options;
  }

  void SetUp() override {
    InstallerAgainstServices::SetUp();
    auto& bus = testsupport::AccessibilityBus::instance();
    ASSERT_TRUE(bus.ready()) << bus.failure();
    for (const std::string& entry : bus.environment()) extraEnv_.push_back(entry);
  }

  // Every expected object is below |root| with its states.
  void expectAll(AtspiAccessible* root, const std::vector<Expected>& expected) {
    const std::string tree = dump(root);
    for (const Expected& e : expected) {
      SCOPED_TRACE(std::string(e.role) + " \"" + e.name + "\"");
      Accessible object = find(root, e.role, e.name);
      ASSERT_TRUE(object) << tree;
      for (AtspiStateType state : e.present) EXPECT_TRUE(has(object.get(), state)) << state << "\n" << tree;
      for (AtspiStateType state : e.absent) EXPECT_FALSE(has(object.get(), state)) << state << "\n" << tree;
    }
  }

  // The window of the application with that role and name, once shown.
  Accessible window(AtspiAccessible* app, const std::string& role, const std::string& name) {
    Accessible found;
    waitFor([&] {
      for (Accessible& child : children(app)) {
        if (testsupport::atspi::role(child.get()) == role && testsupport::atspi::name(child.get()) == name &&
            has(child.get(), ATSPI_STATE_SHOWING)) {
          found = std::move(child);
          return true;
        }
      }
      return false;
    });
    return found;
  }
  bool windowGone(AtspiAccessible* app, const std::string& role) {
    return waitFor([&] {
      for (Accessible& child : children(app)) {
        if (testsupport::atspi::role(child.get()) == role) return false;
      }
      return true;
    });
  }
};

constexpr auto kShowing = ATSPI_STATE_SHOWING;
constexpr auto kSensitive = ATSPI_STATE_SENSITIVE;

TEST_F(AccessibleInstaller, EveryPageAndBoxReadsRightAndTheInstallButtonWorks) {
  // Slow enough that the bar is seen between its ends on any machine.
  standin::Fault slow;
  slow.bytesPerSecond = 2u << 20;
  for (const std::string& path : standin::installerPaths()) services_.setFault(path, slow);
  const pid_t run = start("Tarnwick9_en_35036_x.exe", {});
  Accessible app = application(run);
  ASSERT_TRUE(app) << "the installer never joined the accessibility bus\n" << log();
  Accessible frame = window(app.get(), "frame", "Tarnwick Installer");
  ASSERT_TRUE(frame) << dump(app.get());
  EventLog events({"object:children-changed", "object:property-change:accessible-value", "object:value-changed"});

  // ---- The choose page ----
  ASSERT_TRUE(waitForShowing(frame.get(), "push button", "Quick install")) << dump(frame.get());
  expectAll(frame.get(), {
      {"label", "Tarnwick Installer", {kShowing}, {}},
      {"push button", "Join our community", {kShowing, kSensitive}, {}},
      {"push button", "Minimize", {kShowing, kSensitive}, {}},
      {"push button", "Close", {kShowing, kSensitive}, {}},
      {"push button", "Quick install", {kShowing, kSensitive, ATSPI_STATE_FOCUSED}, {}},
      {"check box", "I accept the License Agreement", {kShowing, ATSPI_STATE_CHECKED}, {}},
      {"label", "I have read and agree to the", {kShowing}, {}},
      {"push button", "License Agreement", {kShowing}, {}},
      {"push button", "Custom install", {kShowing, kSensitive}, {}},
      // The custom row is there, hidden.
      {"text", "Installation folder", {ATSPI_STATE_EDITABLE}, {kShowing}},
      {"push button", "Back", {}, {kShowing}},
  });
  // Only the shown page is in the tree.
  EXPECT_FALSE(find(frame.get(), "progress bar", "Installation progress")) << dump(frame.get());
  const std::string choosePage = dump(frame.get());

  // ---- The exit box: a dialog with its title, question and default answer ----
  ASSERT_TRUE(act(find(frame.get(), "push button", "Close").get(), "click"));
  Accessible exitBox = window(app.get(), "dialog", "Notice");
  ASSERT_TRUE(exitBox) << dump(app.get());
  EXPECT_TRUE(waitFor([&] { return description(exitBox.get()) == "Do you want to stop the installation?"; }))
      << description(exitBox.get());
  expectAll(exitBox.get(), {
      {"label", "Notice", {kShowing}, {}},
      {"label", "Do you want to stop the installation?", {kShowing}, {}},
      {"push button", "Yes", {kShowing, kSensitive}, {ATSPI_STATE_IS_DEFAULT}},
      {"push button", "No", {kShowing, ATSPI_STATE_IS_DEFAULT, ATSPI_STATE_FOCUSED}, {}},
      {"push button", "Close", {kShowing}, {}},
  });
  // The window manager knows it as a dialog of that title (WM_NAME).
  const std::string onDisplay = "DISPLAY=" + x_.display() + " ";
  EXPECT_EQ(std::system((onDisplay + "xdotool search --name '^Notice$' > /dev/null").c_str()), 0);
  EXPECT_EQ(std::system((onDisplay + "sh -c 'xprop -id $(xdotool search --name \"^Notice$\" | head -n 1) "
                                     "_NET_WM_WINDOW_TYPE WM_NAME' | grep -q _NET_WM_WINDOW_TYPE_DIALOG").c_str()),
            0);
  // The window behind the box takes no input.
  EXPECT_TRUE(waitFor([&] { return !has(find(frame.get(), "push button", "Quick install").get(), kSensitive); }));
  ASSERT_TRUE(act(find(exitBox.get(), "push button", "No").get(), "click"));
  ASSERT_TRUE(windowGone(app.get(), "dialog")) << dump(app.get());
  EXPECT_TRUE(waitFor([&] { return has(find(frame.get(), "push button", "Quick install").get(), kSensitive); }));

  // ---- The custom folder, and the box its browse button asks ----
  ASSERT_TRUE(act(find(frame.get(), "push button", "Custom install").get(), "click"));
  Accessible folder = waitForShowing(frame.get(), "text", "Installation folder");
  ASSERT_TRUE(folder) << dump(frame.get());
  EXPECT_NE(text(folder.get()).find("Tarnwick"), std::string::npos) << text(folder.get());
  expectAll(frame.get(), {
      {"label", "Choose the installation folder", {kShowing}, {}},
      {"push button", "Browse", {kShowing, kSensitive}, {}},
      {"push button", "Back", {kShowing, kSensitive}, {}},
      {"push button", "Custom install", {}, {kShowing}},
  });
  ASSERT_TRUE(act(find(frame.get(), "push button", "Browse").get(), "click"));
  Accessible question = window(app.get(), "dialog", "Notice");
  ASSERT_TRUE(question) << dump(app.get());
  EXPECT_TRUE(waitFor([&] { return description(question.get()) == "Do you want to change the installation folder?"; }))
      << description(question.get());
  expectAll(question.get(), {
      {"label", "Do you want to change the installation folder?", {kShowing}, {}},
      // The primary answer is what Enter presses.
      {"push button", "OK", {kShowing, kSensitive, ATSPI_STATE_IS_DEFAULT, ATSPI_STATE_FOCUSED}, {}},
      {"push button", "Cancel", {kShowing, kSensitive}, {ATSPI_STATE_IS_DEFAULT}},
      {"push button", "Close", {kShowing}, {}},
  });
  ASSERT_TRUE(act(find(question.get(), "push button", "Cancel").get(), "click"));
  ASSERT_TRUE(windowGone(app.get(), "dialog")) << dump(app.get());
  EXPECT_TRUE(waitFor([&] { return has(find(frame.get(), "push button", "Back").get(), kSensitive); }));
  ASSERT_TRUE(act(find(frame.get(), "push button", "Back").get(), "click"));
  EXPECT_TRUE(waitFor([&] { return !has(folder.get(), kShowing); }));

  // ---- The licence: unticked, the install button is off ----
  Accessible accept = find(frame.get(), "check box", "I accept the License Agreement");
  Accessible install = find(frame.get(), "push button", "Quick install");
  ASSERT_TRUE(act(accept.get(), "toggle"));
  EXPECT_TRUE(waitFor([&] { return !has(accept.get(), ATSPI_STATE_CHECKED) && !has(install.get(), kSensitive); }));
  ASSERT_TRUE(act(accept.get(), "toggle"));
  EXPECT_TRUE(waitFor([&] { return has(accept.get(), ATSPI_STATE_CHECKED) && has(install.get(), kSensitive); }));

  // ---- Install: the download starts and the bar moves ----
  ASSERT_TRUE(act(install.get(), "click"));
  Accessible bar = waitForShowing(frame.get(), "progress bar", "Installation progress");
  ASSERT_TRUE(bar) << dump(frame.get());
  EXPECT_TRUE(events.waitFor("object:children-changed:add"));
  EXPECT_TRUE(waitForLog("start download player playerurl is"));
  double seen = 0;
  EXPECT_TRUE(waitFor([&] {
    seen = value(bar.get());
    return seen > 0 && seen < 100;
  })) << seen;
  EXPECT_TRUE(events.waitFor("object:property-change:accessible-value progress bar 'Installation progress'") ||
              events.waitFor("object:value-changed progress bar 'Installation progress'"));

  // ---- The finish page ----
  ASSERT_TRUE(waitForShowing(frame.get(), "push button", "Start Tarnwick")) << dump(frame.get()) << log();
  expectAll(frame.get(), {
      {"label", "Installation complete", {kShowing}, {}},
      {"push button", "Start Tarnwick", {kShowing, kSensitive}, {}},
  });
  EXPECT_FALSE(find(frame.get(), "progress bar", "Installation progress")) << dump(frame.get());
  // The window as a screen reader gets it, on the choose and finish pages (for the record).
  std::printf("%s\n%s", choosePage.c_str(), dump(frame.get()).c_str());
}

}  // namespace
