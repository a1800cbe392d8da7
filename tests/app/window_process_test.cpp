// The real executable's main window on an X server of the test's own, under a window manager:
// its title, its place, the hand-over from a second launch, a real click.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "tests/app/installer_against_services.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/skin_setup.h"
#include "ui/main_frame.h"

namespace {

constexpr const char* kCampaign = "Tarnwick9_en_35036_x";
constexpr const char* kTitle = "Tarnwick Installer";  // "Title_wndTitle" in English

// What a shell command printed; empty when it failed.
std::string output(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  return pclose(pipe) == 0 ? text : std::string();
}

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Waits (generously) until |command| prints something that contains |part|.
bool waitForOutput(const std::string& command, const std::string& part) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    if (output(command).find(part) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Where the main window's control |name| has its centre, in the window: the same layout and
// start-up laid out by the headless host.
toolkit::Point controlCentre(std::wstring_view name) {
  toolkit::testing::FixedMeasurer measurer;
  toolkit::HeadlessDesktop desktop(measurer);
  utility::TaskDispatcher::create();
  toolkit::loadSkinArchive(129, L"multi_language.tsv");
  auto* frame = new CMainFrame;  // deletes itself when closed
  toolkit::Point centre{-1, -1};
  if (frame->create(nullptr)) {
    frame->show(toolkit::ShowCommand::kShow);
    if (toolkit::HeadlessWindow* host = desktop.hostOf(*frame)) {
      const toolkit::Rect origin = host->frame();
      if (host->centreOf(name, centre)) centre = {centre.x - origin.left, centre.y - origin.top};
    }
    frame->close();
  }
  while (utility::MainLoop::iterate()) {
  }
  return centre;
}

class MainWindowOnX : public InstallerAgainstServices {
 protected:
  void SetUp() override {
    InstallerAgainstServices::SetUp();
    setenv("DISPLAY", x_.display().c_str(), 1);
    // A window manager: minimising, stacking and the active window are its matters.
    const pid_t manager = fork();
    if (manager == 0) {
      setenv("HOME", (world_ / "wm").c_str(), 1);
      execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
      _exit(127);
    }
    children_.push_back(manager);
    ASSERT_TRUE(waitForOutput("xprop -root _NET_SUPPORTING_WM_CHECK", "window id")) << "no window manager";
  }

  // The X window id of the installer's main window (waits until it is mapped).
  std::string mainWindow() {
    std::string id;
    for (int attempt = 0; attempt < 600 && id.empty(); ++attempt) {
      id = output(std::string("xdotool search --onlyvisible --name '^") + kTitle + "$' 2>/dev/null");
      if (id.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (const size_t end = id.find('\n'); end != std::string::npos) id.resize(end);
    return id;
  }
  // x, y, width, height of window |id| on the screen.
  std::vector<int> geometry(const std::string& id) {
    std::istringstream lines(output("xdotool getwindowgeometry --shell " + id));
    std::vector<int> values(4, -1);
    for (std::string line; std::getline(lines, line);) {
      for (const auto& [key, index] : {std::pair{"X=", 0}, {"Y=", 1}, {"WIDTH=", 2}, {"HEIGHT=", 3}}) {
        if (line.rfind(key, 0) == 0) values[index] = std::atoi(line.c_str() + std::strlen(key));
      }
    }
    return values;
  }
  std::string activeWindow() {
    std::string id = output("xdotool getactivewindow 2>/dev/null");
    if (const size_t end = id.find('\n'); end != std::string::npos) id.resize(end);
    return id;
  }
  std::string states(const std::string& id) { return output("xprop -id " + id + " _NET_WM_STATE WM_STATE"); }
};

TEST_F(MainWindowOnX, AppearsCentredWithItsTitleAndComesBackFromMinimisedOnASecondLaunch) {
  const pid_t first = start(kCampaign, {});
  const std::string id = mainWindow();
  ASSERT_FALSE(id.empty()) << log();
  const std::vector<int> frame = geometry(id);
  EXPECT_EQ(frame[2], 640);
  EXPECT_EQ(frame[3], 400);
  EXPECT_LE(std::abs(frame[0] * 2 + frame[2] - 1280), 2) << frame[0];
  EXPECT_LE(std::abs(frame[1] * 2 + frame[3] - 1024), 2) << frame[1];
  EXPECT_EQ(activeWindow(), id);
  // The executable's icon 107.
  EXPECT_NE(output("xprop -id " + id + " _NET_WM_ICON").find("(64 x 64)"), std::string::npos);

  // Minimised, and another window over its place.
  ASSERT_EQ(std::system(("xdotool windowminimize --sync " + id).c_str()), 0);
  ASSERT_TRUE(waitForOutput("xprop -id " + id + " WM_STATE", "Iconic"));
  const pid_t cover = fork();
  if (cover == 0) {
    execlp("xmessage", "xmessage", "-geometry", "1280x1024+0+0", "cover", static_cast<char*>(nullptr));
    _exit(127);
  }
  children_.push_back(cover);
  ASSERT_TRUE(waitForOutput("xdotool search --onlyvisible --name '^xmessage$'", "\n"));

  ASSERT_TRUE(handOverTo(kCampaign));
  ASSERT_TRUE(waitForOutput("xprop -id " + id + " WM_STATE", "Normal"));
  // Active and on top of the stack (the window manager settles both a moment after the request).
  const unsigned long window = std::stoul(id);
  auto topOfStack = [this] {
    const std::string stacking = output("xprop -root _NET_CLIENT_LIST_STACKING");
    const size_t last = stacking.find_last_of(' ');
    return last == std::string::npos ? 0ul : std::stoul(stacking.substr(last + 1), nullptr, 16);
  };
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while ((activeWindow() != id || topOfStack() != window) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(activeWindow(), id);
  EXPECT_EQ(topOfStack(), window) << output("xprop -root _NET_CLIENT_LIST_STACKING");
  // Not left above every other window.
  EXPECT_EQ(states(id).find("_NET_WM_STATE_ABOVE"), std::string::npos) << states(id);
  EXPECT_EQ(countOf(log(), "create main"), 2);

  kill(first, SIGTERM);
  EXPECT_EQ(wait(first), 0);
}

TEST_F(MainWindowOnX, AClickOnInstallStartsTheDownload) {
  // The installer's bytes stall after the first MiB: the download runs until the test ends it.
  standin::Fault stall;
  stall.stallAfterBytes = 1 << 20;
  for (const std::string& path : standin::installerPaths()) services_.setFault(path, stall);
  const toolkit::Point button = controlCentre(L"installnowbtn");
  ASSERT_GE(button.x, 0);

  const pid_t run = start(kCampaign, {});
  const std::string id = mainWindow();
  ASSERT_FALSE(id.empty()) << log();
  const std::vector<int> frame = geometry(id);
  const std::string click = "xdotool mousemove --sync " + std::to_string(frame[0] + button.x) + " " +
                            std::to_string(frame[1] + button.y) + " click 1";
  ASSERT_EQ(std::system(click.c_str()), 0);
  ASSERT_TRUE(waitForLog("start download player playerurl is")) << log();
  bool requested = false;
  for (int i = 0; i < 1500 && !requested; ++i) {
    for (const auto& request : services_.requests()) {
      for (const std::string& path : standin::installerPaths()) requested = requested || request.path == path;
    }
    if (!requested) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(requested);
  kill(run, SIGTERM);
  EXPECT_EQ(wait(run), 0);
}

// Minimised by its own button and restored by the window manager (the task bar's way): the window
// takes clicks again.
TEST_F(MainWindowOnX, AfterItsOwnMinimiseAndARestoreByTheWindowManagerAClickReachesItsControls) {
  standin::Fault stall;
  stall.stallAfterBytes = 1 << 20;
  for (const std::string& path : standin::installerPaths()) services_.setFault(path, stall);
  const toolkit::Point minimise = controlCentre(L"minbtn");
  const toolkit::Point install = controlCentre(L"installnowbtn");
  ASSERT_GE(minimise.x, 0);
  ASSERT_GE(install.x, 0);

  const pid_t run = start(kCampaign, {});
  const std::string id = mainWindow();
  ASSERT_FALSE(id.empty()) << log();
  auto clickAt = [&](toolkit::Point at) {
    const std::vector<int> frame = geometry(id);
    return std::system(("xdotool mousemove --sync " + std::to_string(frame[0] + at.x) + " " +
                        std::to_string(frame[1] + at.y) + " click 1").c_str()) == 0;
  };
  ASSERT_TRUE(clickAt(minimise));
  ASSERT_TRUE(waitForOutput("xprop -id " + id + " WM_STATE", "Iconic"));
  // The task bar's restore: the window manager maps it again and activates it.
  ASSERT_EQ(std::system(("xdotool windowactivate --sync " + id).c_str()), 0);
  ASSERT_TRUE(waitForOutput("xprop -id " + id + " WM_STATE", "Normal"));
  ASSERT_TRUE(clickAt(install));
  EXPECT_TRUE(waitForLog("start download player playerurl is")) << log();
  kill(run, SIGTERM);
  EXPECT_EQ(wait(run), 0);
}

// Alt+F4 during the download asks what the close button asks, instead of ending the installer.
TEST_F(MainWindowOnX, TheWindowManagersCloseDuringTheDownloadAsksFirst) {
  standin::Fault stall;
  stall.stallAfterBytes = 1 << 20;
  for (const std::string& path : standin::installerPaths()) services_.setFault(path, stall);
  const toolkit::Point install = controlCentre(L"installnowbtn");
  ASSERT_GE(install.x, 0);

  const pid_t run = start(kCampaign, {});
  const std::string id = mainWindow();
  ASSERT_FALSE(id.empty()) << log();
  const std::vector<int> frame = geometry(id);
  ASSERT_EQ(std::system(("xdotool mousemove --sync " + std::to_string(frame[0] + install.x) + " " +
                         std::to_string(frame[1] + install.y) + " click 1").c_str()),
            0);
  ASSERT_TRUE(waitForLog("start download player playerurl is")) << log();
  // The window manager's close (its Alt+F4 binding sends the delete request).
  ASSERT_EQ(std::system(("xdotool windowactivate --sync " + id + " key --clearmodifiers alt+F4").c_str()), 0);
  const std::string windows = "xdotool search --onlyvisible --pid " + std::to_string(run) + " 2>/dev/null";
  bool asked = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!asked && std::chrono::steady_clock::now() < end) {
    asked = countOf(output(windows), "\n") >= 2;  // the main window and the question over it
    if (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(asked) << output(windows);
  int status = 0;
  EXPECT_EQ(waitpid(run, &status, WNOHANG), 0) << "the installer ended without asking";
  kill(run, SIGTERM);
  wait(run);
}

}  // namespace
