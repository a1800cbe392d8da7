#include "app/window_automation.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "app/job_summary.h"
#include "app/window_screenshot.h"
#include "toolkit/core/control.h"
#include "toolkit/text_table.h"
#include "ui/downloader_box.h"
#include "ui/main_frame.h"
#include "ui/msg/message_box_window.h"
#include "utility/base/clock.h"
#include "utility/base/runable.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/log.h"

namespace app {
namespace {

constexpr uint32_t kTickMs = 50;

enum class Mode { kInstall, kCancel, kLeave };
enum class Step { kChoose, kStarted, kLeaving, kDone };

const char* pageName(int page) {
  switch (page) {
    case CMainFrame::kChoosePage: return "choose";
    case CMainFrame::kLicencePage: return "licence";
    case CMainFrame::kProgressPage: return "progress";
    case CMainFrame::kApkPage: return "apps";
    case CMainFrame::kFinishPage: return "finish";
    default: return "page";
  }
}

void say(const std::string& text) {
  std::printf("automation: %s\n", text.c_str());
  std::fflush(stdout);
  common::logPrint("app::WindowAutomation", __LINE__, L"development automation: %s", utility::utf8ToWide(text).c_str());
}

// A press and release at the centre of |control|, through the window's input as the host
// delivers it; false when the control is not on screen.
bool press(toolkit::WindowImplBase& window, toolkit::Control* control) {
  window.relayout();
  if (control == nullptr || control->rect().width() <= 0 || control->rect().height() <= 0) return false;
  // Shown only when every container around it is shown too.
  for (const toolkit::Control* c = control; c != nullptr; c = c->parent()) {
    if (!c->visible()) return false;
  }
  const toolkit::Rect& r = control->rect();
  const toolkit::Point centre{r.left + r.width() / 2, r.top + r.height() / 2};
  for (toolkit::InputType type : {toolkit::InputType::kPointerMove, toolkit::InputType::kPointerDown,
                                  toolkit::InputType::kPointerUp}) {
    toolkit::WindowMessage message;
    message.type = toolkit::MessageType::kInput;
    message.input = toolkit::InputEvent::pointer(type, centre);
    window.deliver(message);
  }
  return true;
}

void deliverInput(toolkit::WindowImplBase& window, const toolkit::InputEvent& event) {
  toolkit::WindowMessage message;
  message.type = toolkit::MessageType::kInput;
  message.input = event;
  window.deliver(message);
}

// The button of a general box with |text| ("Selection" children of "bottombar").
toolkit::Control* boxButton(msg::MessageBoxWindow& box, const std::wstring& text) {
  toolkit::Control* bar = box.findControl(L"bottombar");
  toolkit::Container* buttons = bar != nullptr ? bar->asContainer() : nullptr;
  if (buttons == nullptr) return nullptr;
  for (int i = 0; i < buttons->count(); ++i) {
    toolkit::Control* child = buttons->childAt(i);
    if (child->className() == L"Selection" && child->text() == text) return child;
  }
  return nullptr;
}

class WindowAutomation {
 public:
  WindowAutomation() {
    const auto mode = utility::devOverride("TARNWICK_AUTOMATION");
    mode_ = Mode::kInstall;
    if (mode && *mode == "cancel") mode_ = Mode::kCancel;
    if (mode && *mode == "leave") mode_ = Mode::kLeave;
    if (const auto folder = utility::devOverride("TARNWICK_AUTOMATION_FOLDER")) folder_ = utility::utf8ToWide(*folder);
    if (const auto screens = utility::devOverride("TARNWICK_SCREENS")) {
      screens_ = *screens;
      std::error_code ignored;
      std::filesystem::create_directories(screens_, ignored);
    }
  }

  void start() {
    lastTick_ = utility::tickCount();
    timer_.start(kTickMs, makeRunable([this] { tick(); }));
  }

 private:
  void tick() {
    // How long the main loop kept this timer waiting: a frozen window shows here.
    const uint32_t now = utility::tickCount();
    if (now - lastTick_ > kTickMs) longestPause_ = std::max(longestPause_, now - lastTick_ - kTickMs);
    lastTick_ = now;
    if (step_ == Step::kDone) return;

    CMainFrame* frame = CMainFrame::current();
    if (frame == nullptr || !frame->isWindow()) return;
    auto* tabs = frame->findControl<toolkit::TabLayout>(L"maintab");
    const int page = tabs != nullptr ? tabs->selectedIndex() : -1;
    shootPage(*frame, page);
    if (page == CMainFrame::kApkPage) sawApps_ = true;
    if (answerBoxes()) return;

    switch (step_) {
      case Step::kChoose:
        if (page != CMainFrame::kChoosePage) return;
        if (mode_ == Mode::kLeave) {
          step_ = Step::kLeaving;
          left_ = true;
          pressClose(*frame);
          return;
        }
        if (!folder_.empty() && !folderTyped_) {
          typeFolder(*frame);
          return;  // the folder's notices, if any, come first
        }
        if (press(*frame, frame->findControl(L"installnowbtn"))) {
          say("click installnowbtn");
          step_ = Step::kStarted;
        }
        return;
      case Step::kStarted:
        if (page == CMainFrame::kFinishPage) {
          installFailed_ = !frame->startMode();
          if (installFailed_) {
            // The finish button would open the home page: leave by the close button instead.
            step_ = Step::kLeaving;
            pressClose(*frame);
          } else if (press(*frame, frame->findControl(L"tastenowbtn"))) {
            say("click tastenowbtn");
            step_ = Step::kDone;
            started_ = true;
          }
          return;
        }
        // After the download error box the window is back at the install button: leave from there.
        if (sawDownloadError_ && page == CMainFrame::kChoosePage) {
          step_ = Step::kLeaving;
          pressClose(*frame);
          return;
        }
        // Leave a running download when asked to.
        if (page == CMainFrame::kProgressPage && frame->downloadStartTick() != 0 && frame->progressPercent() < 100 &&
            mode_ == Mode::kCancel && frame->progressPercent() > 0) {
          step_ = Step::kLeaving;
          pressClose(*frame);
        }
        return;
      case Step::kLeaving:
      case Step::kDone:
        return;
    }
  }

  void typeFolder(CMainFrame& frame) {
    folderTyped_ = true;
    press(frame, frame.findControl(L"userdefinitionBtn"));
    frame.relayout();
    if (!press(frame, frame.findControl(L"pathedit"))) {
      say("no folder edit on the choose page");
      return;
    }
    deliverInput(frame, toolkit::InputEvent::keyDown(toolkit::Key::kA, toolkit::kControl));
    deliverInput(frame, toolkit::InputEvent::typed(folder_));
    // Out of the edit: the folder is taken as typed.
    deliverInput(frame, toolkit::InputEvent::keyDown(toolkit::Key::kTab));
    say("typed the folder " + utility::wideToUtf8(folder_));
    shoot(frame, "choose-folder");
  }

  void pressClose(CMainFrame& frame) {
    if (press(frame, frame.findControl(L"closebtn"))) say("click closebtn");
  }

  // Answers the newest box, as a user would; true when a box was there.
  bool answerBoxes() {
    const auto& boxes = msg::MessageBoxWindow::onScreen();
    if (boxes.empty()) {
      if (DownloaderBox* exitBox = DownloaderBox::current()) {
        shootBox(*exitBox, "exit");
        // Leaving is what the automation came to the close button for.
        if (press(*exitBox, exitBox->findControl(L"btnLeft"))) say("exit box: btnLeft");
        return true;
      }
      return false;
    }
    msg::MessageBoxWindow& box = *boxes.back();
    if (!box.isWindow()) return true;
    const std::wstring& text = box.text();
    // The download error box: its question comes last, after the cause when one is known.
    const std::wstring& question = toolkit::langString("download_error_tip2");
    if (text.size() >= question.size() && text.compare(text.size() - question.size(), question.size(), question) == 0) {
      shootBox(box, "download-error");
      sawDownloadError_ = true;
      say("download error box: No");
      press(box, boxButton(box, toolkit::langString("No")));
    } else if (text == toolkit::langString("download_slowtip")) {
      shootBox(box, "slow-download");
      say("slow-download box: download_close");
      press(box, boxButton(box, toolkit::langString("download_close")));
      cancelled_ = true;
    } else {
      shootBox(box, "notice");
      say("a box (" + utility::wideToUtf8(text) + "): closed");
      press(box, box.findControl(L"closebtn"));
    }
    return true;
  }

  void shootPage(CMainFrame& frame, int page) {
    if (page < 0) return;
    // The progress page when it shows something: half the download, or the installation.
    if (page == CMainFrame::kProgressPage && frame.progressPercent() < 40) return;
    const std::string name = page == CMainFrame::kProgressPage && frame.progressPercent() >= 100
                                 ? "progress-installing"
                                 : pageName(page);
    if (!shot_.insert(name).second) return;
    shoot(frame, name);
  }

  // Once per box: a later box may take the place in memory of an earlier one, not its name too.
  void shootBox(toolkit::WindowImplBase& box, const std::string& name) {
    if (!shotBoxes_.insert({&box, name}).second) return;
    shoot(box, name);
  }

  void shoot(toolkit::WindowImplBase& window, const std::string& name) {
    if (screens_.empty()) return;
    window.relayout();
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02d-", ++shots_);
    const std::string path = (std::filesystem::path(screens_) / (prefix + name + ".png")).string();
    if (writeWindowScreenshot(window, path)) say("screenshot " + path);
  }

public:
  void finish() {
    const char* outcome = "the window was closed before the job ended";
    if (started_) outcome = "installed and started";
    if (installFailed_) outcome = "the installation failed";
    if (sawDownloadError_) outcome = "the download failed (the browser was offered)";
    if (cancelled_ && !sawDownloadError_) outcome = "cancelled during the download (no installer started)";
    if (left_) outcome = "left before the download";
    // The app page ends the run itself: the emulator starts with the last app.
    if (sawApps_) outcome = "installed; the campaign's apps installed and the emulator started";
    printJobSummary(outcome);
    std::printf("  %-18s %u ms\n", "longest loop pause", longestPause_);
    std::fflush(stdout);
    common::logPrint("app::WindowAutomation", __LINE__, L"development automation: longest loop pause %u ms",
                     longestPause_);
  }

 private:
  Mode mode_ = Mode::kInstall;
  Step step_ = Step::kChoose;
  std::wstring folder_;
  std::string screens_;
  utility::TaskTimer timer_;
  uint32_t lastTick_ = 0;
  uint32_t longestPause_ = 0;
  bool folderTyped_ = false;
  bool sawDownloadError_ = false;
  bool cancelled_ = false;
  bool started_ = false;
  bool left_ = false;
  bool sawApps_ = false;
  bool installFailed_ = false;
  int shots_ = 0;
  std::set<std::string> shot_;
  std::set<std::pair<const void*, std::string>> shotBoxes_;
};

}  // namespace

bool windowAutomationRequested() {
  const auto mode = utility::devOverride("TARNWICK_AUTOMATION");
  return mode && (*mode == "install" || *mode == "cancel" || *mode == "leave");
}

namespace {
std::unique_ptr<WindowAutomation> gAutomation;
}  // namespace

void startWindowAutomation() {
  gAutomation = std::make_unique<WindowAutomation>();
  gAutomation->start();
}

void finishWindowAutomation() {
  if (gAutomation == nullptr) return;
  gAutomation->finish();
  gAutomation.reset();
}

}  // namespace app
