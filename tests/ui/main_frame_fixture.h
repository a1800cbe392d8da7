// The main window in the headless host with the shipped skin and text table; the model is the
// process's (created on first use, shut down by the window's destroy handler).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/skin_setup.h"
#include "ui/main_frame.h"

namespace uitest {

class MainFrameTest : public toolkit::testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    toolkit::loadSkinArchive(129, L"multi_language.tsv");
    frame = new CMainFrame;
    ASSERT_TRUE(frame->create(nullptr));
    frame->show(toolkit::ShowCommand::kShow);
    host = desktop.hostOf(*frame);
    ASSERT_NE(host, nullptr);
  }
  void TearDown() override {
    if (!frameGone()) frame->close();  // deletes itself when gone
    drain();
    WindowTest::TearDown();
  }

  // The frame deletes itself once closed: found by class, never through the pointer.
  bool frameGone() const { return desktop.find(L"cmainframe") == nullptr; }
  toolkit::Control& control(std::wstring_view name) const {
    toolkit::Control* found = frame->findControl(name);
    EXPECT_NE(found, nullptr) << "no control " << std::string(name.begin(), name.end());
    static toolkit::Control none;
    return found != nullptr ? *found : none;
  }
  std::wstring text(std::wstring_view name) const { return control(name).text(); }
  int progress(std::wstring_view name) const {
    auto* bar = frame->findControl<toolkit::Progress>(name);
    return bar != nullptr ? bar->value() : -1;
  }

  CMainFrame* frame = nullptr;
  toolkit::HeadlessWindow* host = nullptr;
};

}  // namespace uitest
