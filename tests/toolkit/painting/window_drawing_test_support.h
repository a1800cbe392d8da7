// The fixture of the window drawing tests: a window whose layout has an image (a plain and an
// enlarged variant of different colours) and fonts both the layout and the window define, drawn
// through useWindowPainting.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/png_fixture.h"
#include "tests/toolkit/window/window_test_support.h"
#include "toolkit/painting/window_painting.h"

namespace toolkit::testing {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

// Font 2 is the layout's (30) and the window's (10): the layout's wins. Font 5 only the window's.
constexpr const wchar_t* kLayout = LR"(<Window size="200,120">
  <Font id="2" name="Sans" size="30"/>
  <VerticalLayout bkcolor="#FFFFFFFF">
    <Control name="logo" height="20" bkimage="logo.png"/>
    <HorizontalLayout height="50">
      <Label name="big" text="MMMM" font="2" autocalcwidth="true"/>
      <Label name="small" text="MMMM" font="5" autocalcwidth="true"/>
      <Control/>
    </HorizontalLayout>
    <Control/>
  </VerticalLayout>
</Window>)";

class WindowDrawingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    desktop.addLayout(L"drawn.xml", kLayout);
    images[L"logo.png"] = testsupport::solidPng(10, 10, kRed);
    images[L"Enalarge/logo.png"] = testsupport::solidPng(20, 20, kBlue);
    useWindowPainting([this](const std::wstring& name) {
      auto found = images.find(name);
      return found == images.end() ? std::vector<uint8_t>{} : found->second;
    });
    window.onInit = [](WindowImplBase& w) {
      w.addFont(FontDescription{2, L"Sans", 10});
      w.addFont(FontDescription{5, L"Sans", 10});
    };
  }
  void TearDown() override {
    setWindowDrawingMaker(nullptr);
    setHeadlessRenderer(nullptr);
    WindowTest::TearDown();
  }

  std::map<std::wstring, std::vector<uint8_t>> images;
  RecordingWindow window{L"drawn.xml"};
};

}  // namespace toolkit::testing
