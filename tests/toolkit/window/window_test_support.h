// What the window tests share: a text measurer that needs no fonts, a window class that records
// its notifications and messages, and a headless desktop with the main loop's dispatcher.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "toolkit/core/window_impl_base.h"
#include "toolkit/headless/headless_host.h"
#include "toolkit/text_table.h"
#include "utility/base/main_loop.h"
#include "utility/base/tasks.h"

namespace toolkit::testing {

// 7 pixels a character, 14 a line; lines break at |maxWidth|.
class FixedMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view text, int /*fontId*/, int maxWidth) const override {
    const int width = 7 * static_cast<int>(text.size());
    if (maxWidth <= 0 || width <= maxWidth) return Size{width, 14};
    const int lines = (width + maxWidth - 1) / maxWidth;
    return Size{maxWidth, 14 * lines};
  }
};

// A button class of the window's own, made from the tag "Selection" by the control builder.
class SelectionButton : public Button {
 public:
  std::wstring_view className() const override { return L"Selection"; }
};

class RecordingWindow : public WindowImplBase {
 public:
  explicit RecordingWindow(std::wstring file, std::wstring className = L"RecordingWindow")
      : file_(std::move(file)), className_(std::move(className)) {}

  std::wstring windowClassName() const override { return className_; }
  std::wstring skinFile() const override { return file_; }
  std::wstring skinFolder() const override { return folder; }
  std::unique_ptr<Control> createControl(std::wstring_view tag) override {
    if (tag == L"Selection") return std::make_unique<SelectionButton>();
    return nullptr;
  }
  void initWindow() override {
    initRuns += 1;
    initSawLayout = root() != nullptr && findControl(L"ok") != nullptr;
    initWhileHidden = host() != nullptr && !host()->isVisible();
    if (onInit) onInit(*this);
  }
  void notify(std::wstring_view type, Control& sender) override {
    seen.push_back(std::wstring(type) + L":" + sender.name());
    if (onNotify) onNotify(type, sender);
    WindowImplBase::notify(type, sender);
  }
  bool handleMessage(const WindowMessage& message) override {
    if (message.type == MessageType::kTimer) {
      ticks[message.timerId] += 1;
      if (onTimer) onTimer(message.timerId);
    }
    if (message.type == MessageType::kDestroy) {
      destroyed = true;
      if (onDestroy) onDestroy();
    }
    return WindowImplBase::handleMessage(message);
  }
  void onFinalMessage() override { finalMessages += 1; }
  bool closesOnEscape() const override { return escapeCloses; }
  bool preFilterKey(const InputEvent& event) override {
    return filterF4 && event.key == Key::kF4;
  }

  // Notifications as "type:sender", oldest first; clear() forgets them.
  std::vector<std::wstring> seen;
  std::wstring folder;
  std::function<void(std::wstring_view, Control&)> onNotify;
  std::function<void(WindowImplBase&)> onInit;
  std::function<void(uint32_t)> onTimer;
  std::function<void()> onDestroy;
  std::map<uint32_t, int> ticks;
  int initRuns = 0;
  bool initSawLayout = false;
  bool initWhileHidden = false;
  bool destroyed = false;
  int finalMessages = 0;
  bool escapeCloses = false;
  bool filterF4 = false;

 private:
  std::wstring file_;
  std::wstring className_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTextsForTesting();
    utility::TaskDispatcher::create();
    utility::MainLoop::resetForTesting();
    desktop.setBrokenLayout(HeadlessDesktop::BrokenLayout::kRecord);
  }
  void TearDown() override { utility::MainLoop::resetForTesting(); }

  // Creates |window| from its layout and shows it with the focus; its host.
  HeadlessWindow& open(RecordingWindow& window, WindowImplBase* owner = nullptr) {
    EXPECT_TRUE(window.create(owner));
    window.show(ShowCommand::kShow);
    HeadlessWindow* host = desktop.hostOf(window);
    EXPECT_NE(host, nullptr);
    return *host;
  }

  // Runs the main loop until |done| or a generous limit (never an assertion on time).
  static bool pumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      if (!utility::MainLoop::iterate()) std::this_thread::yield();
    }
    return true;
  }
  static void drain() {
    pumpUntil([] { return utility::TaskDispatcher::instance()->queuedTasks() == 0; });
    while (utility::MainLoop::iterate()) {
    }
  }

  FixedMeasurer measurer;
  HeadlessDesktop desktop{measurer};
};

}  // namespace toolkit::testing
