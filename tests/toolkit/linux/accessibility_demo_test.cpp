// The demo window read as a screen reader reads it, over AT-SPI on a private accessibility bus
// and X server: every control class with its role, name and states, the actions a screen reader
// performs, and the events that tell it what changed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/accessibility_bus.h"
#include "tests/support/x_server.h"

namespace {

using namespace testsupport::atspi;
using testsupport::Accessible;

// The demo on the test process's X server and accessibility bus; ended when the test ends.
class DemoProcess {
 public:
  explicit DemoProcess(const std::string& display) {
    std::vector<std::string> env = testsupport::AccessibilityBus::instance().environment();
    env.push_back("DISPLAY=" + display);
    pid_ = fork();
    if (pid_ == 0) {
      for (const std::string& entry : env) {
        const size_t eq = entry.find('=');
        setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
      }
      execl(TARNWICK_TOOLKIT_DEMO, TARNWICK_TOOLKIT_DEMO, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~DemoProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

class AccessibleDemo : public ::testing::Test {
 protected:
  static testsupport::XServer& xServer() {
    static testsupport::XServer server;
    return server;
  }

  void SetUp() override {
    ASSERT_FALSE(xServer().display().empty()) << "no X server (Xvfb) could be started";
    auto& bus = testsupport::AccessibilityBus::instance();
    ASSERT_TRUE(bus.ready()) << bus.failure();
    demo_.emplace(xServer().display());
    app_ = application(demo_->pid());
    ASSERT_TRUE(app_) << "the demo never joined the accessibility bus";
    frame_ = waitForShowing(app_.get(), "frame", "Toolkit demo");
    ASSERT_TRUE(frame_) << dump(app_.get());
  }

  std::optional<DemoProcess> demo_;
  Accessible app_;
  Accessible frame_;
};

struct Expected {
  const char* role;
  const char* name;
  std::vector<AtspiStateType> present;
  std::vector<AtspiStateType> absent;
};

TEST_F(AccessibleDemo, EveryControlClassHasItsRoleNameAndStates) {
  const Expected expected[] = {
      {"label", "Toolkit demo", {ATSPI_STATE_SHOWING}, {ATSPI_STATE_FOCUSABLE}},
      // Image-only buttons carry the skin's names, not their glyphs.
      {"push button", "Minimise", {ATSPI_STATE_SENSITIVE, ATSPI_STATE_FOCUSABLE}, {}},
      {"push button", "Close", {ATSPI_STATE_SENSITIVE}, {}},
      {"radio button", "Controls", {ATSPI_STATE_CHECKED, ATSPI_STATE_CHECKABLE}, {}},
      {"radio button", "Text", {ATSPI_STATE_CHECKABLE}, {ATSPI_STATE_CHECKED}},
      {"label", "Plain, underlined and coloured both text", {ATSPI_STATE_SHOWING}, {}},
      {"push button", "OK", {ATSPI_STATE_SENSITIVE, ATSPI_STATE_ENABLED}, {}},
      {"push button", "Disabled", {ATSPI_STATE_SHOWING}, {ATSPI_STATE_SENSITIVE, ATSPI_STATE_ENABLED}},
      {"check box", "Check box", {ATSPI_STATE_CHECKABLE}, {ATSPI_STATE_CHECKED}},
      {"radio button", "Small", {ATSPI_STATE_CHECKED}, {}},
      {"radio button", "Large", {}, {ATSPI_STATE_CHECKED}},
      {"combo box", "English", {ATSPI_STATE_FOCUSABLE}, {}},
      {"list item", "English", {ATSPI_STATE_SELECTED}, {}},
      {"list item", "中文", {ATSPI_STATE_SELECTABLE}, {ATSPI_STATE_SELECTED}},
      {"text", "Sample text", {ATSPI_STATE_EDITABLE, ATSPI_STATE_SINGLE_LINE}, {ATSPI_STATE_READ_ONLY}},
      {"progress bar", "Progress", {ATSPI_STATE_SHOWING}, {ATSPI_STATE_FOCUSABLE}},
      {"image", "Emblem", {ATSPI_STATE_SHOWING}, {}},
      {"label", "Ready", {ATSPI_STATE_SHOWING}, {}},
  };
  const std::string tree = dump(frame_.get());
  for (const Expected& e : expected) {
    SCOPED_TRACE(std::string(e.role) + " " + e.name);
    Accessible object = find(frame_.get(), e.role, e.name);
    ASSERT_TRUE(object) << tree;
    for (AtspiStateType state : e.present) EXPECT_TRUE(has(object.get(), state)) << state;
    for (AtspiStateType state : e.absent) EXPECT_FALSE(has(object.get(), state)) << state;
  }
  EXPECT_EQ(text(find(frame_.get(), "text", "Sample text").get()), "Type here");
  EXPECT_EQ(value(find(frame_.get(), "progress bar", "Progress").get()), 37);
  // Spacers and the nameless panel picture are decoration, never shown to a client.
  EXPECT_EQ(tree.find("[filler]"), std::string::npos) << tree;
  // The second page is not there while the first is shown.
  EXPECT_FALSE(find(frame_.get(), "text", "")) << tree;
}

TEST_F(AccessibleDemo, ActionsWorkAndTheirEffectsAreAnnounced) {
  EventLog events({"object:state-changed:checked", "object:children-changed", "object:property-change:accessible-value",
                   "object:value-changed", "object:text-changed"});
  Accessible ok = find(frame_.get(), "push button", "OK");
  Accessible progress = find(frame_.get(), "progress bar", "Progress");
  ASSERT_TRUE(ok && progress) << dump(frame_.get());
  // "click" on OK advances the bar, as a click does.
  ASSERT_TRUE(act(ok.get(), "click"));
  EXPECT_TRUE(waitFor([&] { return value(progress.get()) == 46; })) << value(progress.get());
  EXPECT_TRUE(events.waitFor("object:property-change:accessible-value progress bar 'Progress'") ||
              events.waitFor("object:value-changed progress bar 'Progress'"));

  Accessible check = find(frame_.get(), "check box", "Check box");
  ASSERT_TRUE(act(check.get(), "toggle"));
  EXPECT_TRUE(waitFor([&] { return has(check.get(), ATSPI_STATE_CHECKED); }));
  EXPECT_TRUE(events.waitFor("object:state-changed:checked check box 'Check box' 1"));

  // The edit's text set as a screen reader's user types it; the change is announced.
  Accessible edit = find(frame_.get(), "text", "Sample text");
  AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(edit.get());
  ASSERT_NE(editable, nullptr);
  EXPECT_TRUE(atspi_editable_text_set_text_contents(editable, "Grüße", nullptr));
  g_object_unref(editable);
  EXPECT_TRUE(waitFor([&] { return text(edit.get()) == "Grüße"; })) << text(edit.get());
  EXPECT_TRUE(events.waitFor("object:text-changed:insert text 'Sample text'"));
  EXPECT_TRUE(has(edit.get(), ATSPI_STATE_FOCUSED));

  // The other page: the old page leaves its panel, the read-only text arrives.
  ASSERT_TRUE(act(find(frame_.get(), "radio button", "Text").get(), "toggle"));
  Accessible licence;
  ASSERT_TRUE(waitFor([&] {
    licence = find(frame_.get(), "text", "");
    return licence != nullptr;
  })) << dump(frame_.get());
  EXPECT_TRUE(has(licence.get(), ATSPI_STATE_READ_ONLY));
  EXPECT_TRUE(has(licence.get(), ATSPI_STATE_MULTI_LINE));
  EXPECT_FALSE(has(licence.get(), ATSPI_STATE_EDITABLE));
  EXPECT_EQ(text(licence.get()).rfind("This page is a multi-line, read-only, scrolled text.", 0), 0u);
  EXPECT_FALSE(find(frame_.get(), "push button", "OK"));
  EXPECT_TRUE(events.waitFor("object:children-changed:remove"));
  EXPECT_TRUE(events.waitFor("object:children-changed:add"));
  EXPECT_TRUE(has(find(frame_.get(), "radio button", "Text").get(), ATSPI_STATE_CHECKED));
}

}  // namespace
