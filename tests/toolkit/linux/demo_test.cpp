// The demo program under a real X server (inside xvfb-run), as a user drives it with xdotool: a
// real click and typed text come out as notifications (--notify), the caption drag moves the
// window, the close button ends it with 0, and a broken layout ends it with exit code 1 after
// printing where the layout is broken, with a display and headless.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/toolkit/linux/x_session_support.h"

namespace toolkit::testing {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Polls |done| until it holds or a generous limit passes (never an assertion on time).
bool waitFor(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The demo running in the background with its output in files of a folder of its own; ended by
// its process id if a test leaves it running.
class DemoRun {
 public:
  // |environment|: "NAME=value ..." for the demo only.
  explicit DemoRun(const std::string& arguments, const std::string& environment = {})
      : folder_("toolkit-demo") {
    const std::string dir = folder_.path().string();
    const std::string command = environment + " '" + std::string(TARNWICK_TOOLKIT_DEMO) + "' " + arguments + " > '" + dir +
                                "/out' 2> '" + dir + "/err' & echo $! > '" + dir + "/pid'; wait $!; echo $? > '" +
                                dir + "/rc.tmp'; mv '" + dir + "/rc.tmp' '" + dir + "/rc'";
    runner_ = std::thread([command] { std::system(command.c_str()); });
  }
  ~DemoRun() {
    if (!finished()) {
      const std::string pid = readFile(folder_.path() / "pid");
      if (!pid.empty()) std::system(("kill " + pid).c_str());
    }
    runner_.join();
  }

  const fs::path& folder() const { return folder_.path(); }
  std::vector<std::string> output() const { return lines(readFile(folder_.path() / "out")); }
  std::string errors() const { return readFile(folder_.path() / "err"); }
  bool printed(const std::string& line) const {
    for (const std::string& l : output()) {
      if (l == line) return true;
    }
    return false;
  }
  bool finished() const { return fs::exists(folder_.path() / "rc"); }
  // The exit code once finished; -1 before.
  int exitCode() const { return finished() ? std::atoi(readFile(folder_.path() / "rc").c_str()) : -1; }

  // The control rectangles the demo printed once painted ("control <name> l t r b").
  std::map<std::string, Rect> controls() const {
    std::map<std::string, Rect> rects;
    for (const std::string& line : output()) {
      std::istringstream in(line);
      std::string word;
      std::string name;
      Rect r;
      if (in >> word >> name >> r.left >> r.top >> r.right >> r.bottom && word == "control") rects[name] = r;
    }
    return rects;
  }

 private:
  testsupport::TempFolder folder_;
  std::thread runner_;
};

class DemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display: run under xvfb-run";
  }
};

TEST_F(DemoTest, RealInputArrivesAsNotificationsAndTheCaptionDragMovesTheWindow) {
  DemoRun demo("--notify");
  ASSERT_TRUE(waitFor([&] { return demo.printed("ready") || demo.finished(); })) << demo.errors();
  ASSERT_FALSE(demo.finished()) << demo.errors();
  const fs::path scratch = demo.folder() / "xdotool";
  const Point origin = windowPosition("Toolkit demo", scratch);
  ASSERT_GE(origin.x, 0);
  const std::map<std::string, Rect> controls = demo.controls();
  for (const char* name : {"okbtn", "edit", "titlename", "closebtn"}) ASSERT_EQ(controls.count(name), 1u) << name;
  auto centre = [&](const std::string& name, Point from) {
    const Rect& r = controls.at(name);
    return Point{from.x + r.left + r.width() / 2, from.y + r.top + r.height() / 2};
  };

  ASSERT_TRUE(xdotool("mousemove --sync " + at(centre("okbtn", origin)) + " click 1"));
  ASSERT_TRUE(waitFor([&] { return demo.printed("notify click okbtn"); })) << readFile(demo.folder() / "out");

  // A click near the edit's right end puts the caret after its text.
  const Rect& edit = controls.at("edit");
  ASSERT_TRUE(xdotool("mousemove --sync " + at(Point{origin.x + edit.right - 8, origin.y + edit.top + 10}) + " click 1"));
  ASSERT_TRUE(waitFor([&] { return demo.printed("notify setfocus edit Type here"); }));
  ASSERT_TRUE(xdotool("type --delay 1 'abc'"));
  ASSERT_TRUE(waitFor([&] { return demo.printed("notify textchanged edit Type hereabc"); }))
      << readFile(demo.folder() / "out");

  // The caption drag: a press on the title, then the pointer moves (repeated until the window
  // manager's drag, which starts with the press, has taken it) and is released.
  const Point title = centre("titlename", origin);
  const Point target{title.x + 40, title.y + 30};
  ASSERT_TRUE(xdotool("mousemove --sync " + at(title) + " mousedown 1"));
  const Point moved{origin.x + 40, origin.y + 30};
  EXPECT_TRUE(waitFor([&] {
    xdotool("mousemove --sync " + at(Point{target.x - 1, target.y}) + " mousemove --sync " + at(target));
    const Point now = windowPosition("Toolkit demo", scratch);
    return now.x == moved.x && now.y == moved.y;
  }));
  ASSERT_TRUE(xdotool("mouseup 1"));

  ASSERT_TRUE(xdotool("mousemove --sync " + at(centre("closebtn", moved)) + " click 1"));
  ASSERT_TRUE(waitFor([&] { return demo.finished(); }));
  EXPECT_EQ(demo.exitCode(), 0);
  EXPECT_TRUE(demo.printed("notify click closebtn"));
}

// On a doubled screen the window has twice the pixels (painted from the enlarged images), and a
// click lands on the control under it in layout pixels.
TEST_F(DemoTest, OnADoubledScreenTheWindowIsTwiceAsLargeAndClicksFindTheirControls) {
  DemoRun demo("--notify", "GDK_SCALE=2");
  ASSERT_TRUE(waitFor([&] { return demo.printed("ready") || demo.finished(); })) << demo.errors();
  ASSERT_FALSE(demo.finished()) << demo.errors();
  const Rect frame = windowFrame("Toolkit demo", demo.folder() / "xdotool");
  EXPECT_EQ(frame.width(), 2 * 560);
  EXPECT_EQ(frame.height(), 2 * 420);
  const Rect ok = demo.controls().at("okbtn");
  const Point centre{frame.left + ok.left + ok.right, frame.top + ok.top + ok.bottom};  // 2 x the centre
  ASSERT_TRUE(xdotool("mousemove --sync " + at(centre) + " click 1"));
  EXPECT_TRUE(waitFor([&] { return demo.printed("notify click okbtn"); })) << readFile(demo.folder() / "out");
}

TEST_F(DemoTest, ABrokenLayoutExitsWithCodeOneAndPrintsWhereItIsBroken) {
  testsupport::TempFolder skin("toolkit-demo-skin");
  std::ofstream(skin.path() / "demo.xml")
      << "<Window size=\"100,100\">\n<VerticalLayout>\n<Label text=\"x\"/>\n<Buton/>\n</VerticalLayout>\n</Window>\n";
  const std::string expected =
      "Duilib: load resource errr. location:demo.xml:/Window/VerticalLayout[1]/Buton[1] msg:unknown element \"Buton\"";
  struct Case {
    const char* how;
    std::string arguments;
  } cases[] = {
      {"headless", "--screenshot '" + (skin.path() / "shot.png").string() + "'"},
      {"on the display", "--notify"},
  };
  for (const Case& c : cases) {
    // With a display, someone presses the box's button once it is on screen.
    if (std::string(c.how) == "on the display") {
      std::system("xdotool search --sync --name '^Duilib$' windowfocus --sync key Return &");
    }
    DemoRun demo("--skin '" + skin.path().string() + "' " + c.arguments);
    ASSERT_TRUE(waitFor([&] { return demo.finished(); })) << c.how;
    EXPECT_EQ(demo.exitCode(), 1) << c.how;
    EXPECT_NE(demo.errors().find(expected), std::string::npos) << c.how << ": " << demo.errors();
    EXPECT_FALSE(demo.printed("ready")) << c.how;
  }
}

}  // namespace
}  // namespace toolkit::testing
