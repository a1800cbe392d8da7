// Win32 characters and keys in the toolkit's terms, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/win/dpi_win.h"
#include "toolkit/win/keys_win.h"

namespace toolkit::win {
namespace {

struct JoinCase {
  const char* name;
  std::vector<wchar_t> units;
  std::wstring text;
};

class CharacterJoinerTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(CharacterJoinerTest, JoinsWhatWmCharHandsOver) {
  CharacterJoiner joiner;
  std::wstring text;
  for (wchar_t unit : GetParam().units) {
    if (auto piece = joiner.add(unit)) text += *piece;
  }
  EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharacterJoinerTest,
    ::testing::Values(JoinCase{"plain", {L'a', L'b'}, L"ab"},
                      JoinCase{"cjk", {0x6F22, 0x5B57}, L"\u6F22\u5B57"},
                      // U+1D11E MUSICAL SYMBOL G CLEF as its two halves.
                      JoinCase{"surrogate_pair", {0xD834, 0xDD1E, L'x'}, L"\U0001D11Ex"},
                      JoinCase{"lone_low_half", {0xDD1E, L'x'}, L"x"},
                      JoinCase{"high_half_without_low", {0xD834, L'x'}, L"x"},
                      JoinCase{"high_half_twice", {0xD834, 0xD834, 0xDD1E}, L"\U0001D11E"},
                      // Enter, Tab, Backspace, Escape and Ctrl+letters come as keys, not text.
                      JoinCase{"control_characters", {L'\r', L'\t', 0x08, 0x1B, 0x01, 0x16, 0x7F, L'z'}, L"z"}),
    [](const ::testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });

TEST(CodePointTextTest, CodePointsBecomeUtf16) {
  EXPECT_EQ(textOfCodePoint(0x41), std::optional<std::wstring>(L"A"));
  EXPECT_EQ(textOfCodePoint(0x1F600), std::optional<std::wstring>(L"\U0001F600"));
  EXPECT_EQ(textOfCodePoint(0x0D), std::nullopt);
  EXPECT_EQ(textOfCodePoint(0xD800), std::nullopt);
  EXPECT_EQ(textOfCodePoint(0x110000), std::nullopt);
}

TEST(KeyOfTest, TheKeysTheToolkitActsOn) {
  const std::vector<std::pair<WPARAM, Key>> keys = {
      {VK_TAB, Key::kTab},   {VK_RETURN, Key::kEnter}, {VK_ESCAPE, Key::kEscape}, {VK_SPACE, Key::kSpace},
      {VK_BACK, Key::kBackspace}, {VK_DELETE, Key::kDelete}, {VK_LEFT, Key::kLeft}, {VK_RIGHT, Key::kRight},
      {VK_UP, Key::kUp},     {VK_DOWN, Key::kDown},    {VK_HOME, Key::kHome},     {VK_END, Key::kEnd},
      {VK_PRIOR, Key::kPageUp}, {VK_NEXT, Key::kPageDown}, {VK_F4, Key::kF4},     {'A', Key::kA},
      {'C', Key::kC},        {'V', Key::kV},           {'X', Key::kX},            {'B', Key::kOther},
      {VK_F5, Key::kOther}};
  for (const auto& [vk, key] : keys) EXPECT_EQ(keyOf(vk), key) << vk;
}

TEST(ScaleForDpiTest, WholeStepsFrom192DpiOn) {
  const std::vector<std::pair<unsigned, int>> scales = {{72, 1}, {96, 1}, {120, 1}, {144, 1},
                                                        {191, 1}, {192, 2}, {240, 2}, {288, 3}};
  for (const auto& [dpi, scale] : scales) EXPECT_EQ(scaleForDpi(dpi), scale) << dpi;
}

}  // namespace
}  // namespace toolkit::win
