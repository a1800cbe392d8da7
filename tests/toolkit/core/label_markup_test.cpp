// The label markup: plain text plus styled runs, with everything malformed kept as text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/core/control.h"
#include "toolkit/core/label_markup.h"

namespace toolkit {
namespace {

constexpr Color kBlue = 0xFF268FD6u;
constexpr Color kRed = 0xFFFF0000u;

MarkupRun underlined(size_t start, size_t length) { return MarkupRun{start, length, true, {}}; }
MarkupRun colored(size_t start, size_t length, Color color, bool underline = false) {
  return MarkupRun{start, length, underline, color};
}

std::string printable(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

TEST(LabelMarkupTest, Table) {
  struct Case {
    std::wstring source;
    std::wstring text;
    std::vector<MarkupRun> runs;
  };
  const Case cases[] = {
      {L"", L"", {}},
      {L"plain text", L"plain text", {}},
      {L"a <u>link</u> here", L"a link here", {underlined(2, 4)}},
      {L"<c #268fd6>blue</c>", L"blue", {colored(0, 4, kBlue)}},
      {L"<c #268FD6>blue</c>", L"blue", {colored(0, 4, kBlue)}},  // either case of hex digits
      // Nested: the inner colour wins, underline adds to it.
      {L"<c #ff0000>r<c #268fd6>b<u>u</u></c>r</c>",
       L"rbur",
       {colored(0, 1, kRed), colored(1, 1, kBlue), colored(2, 1, kBlue, true), colored(3, 1, kRed)}},
      {L"<u>a<c #268fd6>b</c>c</u>", L"abc",
       {underlined(0, 1), colored(1, 1, kBlue, true), underlined(2, 1)}},
      // Neighbours with the same style merge; <u> inside <u> is still one underline.
      {L"<u>a</u><u>b<u>c</u></u>", L"abc", {underlined(0, 3)}},
      // Empty pairs leave no run.
      {L"x<u></u>y<c #268fd6></c>z", L"xyz", {}},
      // Unbalanced: a close without an open, an open never closed, wrong nesting.
      {L"a</u>b", L"a</u>b", {}},
      {L"a<u>b", L"a<u>b", {}},
      {L"<u>a<c #268fd6>b</u>", L"a<c #268fd6>b", {underlined(0, 13)}},
      {L"<u><c #268fd6>a</u></c>", L"<c #268fd6>a</c>", {underlined(0, 12)}},
      {L"</c></u><u>", L"</c></u><u>", {}},
      // Unknown tags and stray "<".
      {L"<b>bold</b>", L"<b>bold</b>", {}},
      {L"1 < 2 <<u>x</u>", L"1 < 2 <x", {underlined(7, 1)}},
      {L"<", L"<", {}},
      {L"<u", L"<u", {}},
      {L"<u>x</u", L"<u>x</u", {}},
      // Bad colour forms.
      {L"<c #12345>x</c>", L"<c #12345>x</c>", {}},
      {L"<c #1234567>x</c>", L"<c #1234567>x</c>", {}},
      {L"<c 268fd6>x</c>", L"<c 268fd6>x</c>", {}},
      {L"<c #268fdg>x</c>", L"<c #268fdg>x</c>", {}},
      {L"<c#268fd6>x</c>", L"<c#268fd6>x</c>", {}},
      {L"<c #268fd6", L"<c #268fd6", {}},
      {L"<c #268fd6>x", L"<c #268fd6>x", {}},
      // Wide text: positions count characters, not bytes.
      {L"\u4e0b\u8f7d<u>\u5b8c\u6210</u>!", L"\u4e0b\u8f7d\u5b8c\u6210!", {underlined(2, 2)}},
      {L"\u0645\u0631\u062d\u0628\u0627 <c #268fd6>\u0639\u0627\u0644\u0645</c>",
       L"\u0645\u0631\u062d\u0628\u0627 \u0639\u0627\u0644\u0645", {colored(6, 4, kBlue)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(printable(c.source));
    const MarkupText parsed = parseLabelMarkup(c.source);
    EXPECT_EQ(printable(parsed.text), printable(c.text));
    EXPECT_EQ(parsed.text, c.text);
    EXPECT_EQ(parsed.runs, c.runs);
  }
}

TEST(LabelMarkupTest, Utf8RunsCountBytes) {
  // "é" is 2 bytes, "下" 3, "😀" 4.
  const MarkupText parsed =
      parseLabelMarkup(L"\u00e9<u>\u4e0b</u>-<c #268fd6>\U0001F600x</c>\u00e9");
  const MarkupTextUtf8 utf8 = toUtf8(parsed);
  EXPECT_EQ(utf8.text, "\xc3\xa9\xe4\xb8\x8b-\xf0\x9f\x98\x80x\xc3\xa9");
  const std::vector<MarkupRun> expected = {underlined(2, 3), colored(6, 5, kBlue)};
  EXPECT_EQ(utf8.runs, expected);
  EXPECT_EQ(toUtf8(parseLabelMarkup(L"plain")).text, "plain");
}

TEST(LabelMarkupTest, LongTextsStayLinear) {
  // 1 MB of each shape that could go quadratic or deep: many runs, deep nesting that is never
  // closed, closes with no open among many opens, and stray "<".
  constexpr size_t kSize = 1 << 20;
  std::wstring runs;
  while (runs.size() < kSize) runs += L"<u>a</u>b<c #268fd6>c</c>";
  const MarkupText many = parseLabelMarkup(runs);
  const size_t pieces = runs.size() / 25;
  EXPECT_EQ(many.text.size(), 3 * pieces);
  EXPECT_EQ(many.runs.size(), 2 * pieces);

  std::wstring deep;
  for (size_t i = 0; i < kSize / 3; ++i) deep += L"<u>";
  deep += L"x";
  for (size_t i = 0; i < kSize / 4; ++i) deep += L"</c>";
  const MarkupText unclosed = parseLabelMarkup(deep);
  EXPECT_EQ(unclosed.text, deep);
  EXPECT_TRUE(unclosed.runs.empty());

  std::wstring nested;
  for (size_t i = 0; i < kSize / 11 / 2; ++i) nested += L"<c #268fd6>";
  nested += L"x";
  for (size_t i = 0; i < kSize / 11 / 2; ++i) nested += L"</c>";
  const MarkupText closed = parseLabelMarkup(nested);
  EXPECT_EQ(closed.text, L"x");
  EXPECT_EQ(closed.runs, std::vector<MarkupRun>{colored(0, 1, kBlue)});

  const std::wstring stray(kSize, L'<');
  EXPECT_EQ(parseLabelMarkup(stray).text, stray);
}

TEST(LabelMarkupTest, LabelsParseOnlyWithShowHtml) {
  Label label;
  label.setText(L"a <u>b</u>");
  EXPECT_EQ(label.markup(), (MarkupText{L"a <u>b</u>", {}}));
  ASSERT_FALSE(label.setAttribute(L"showhtml", L"true"));
  EXPECT_EQ(label.markup(), (MarkupText{L"a b", {underlined(2, 1)}}));

  Text text;
  text.setText(L"<c #268fd6>x</c>");
  EXPECT_EQ(text.markup(), (MarkupText{L"x", {colored(0, 1, kBlue)}}));
  ASSERT_FALSE(text.setAttribute(L"showhtml", L"false"));
  EXPECT_EQ(text.markup().text, L"<c #268fd6>x</c>");
}

}  // namespace
}  // namespace toolkit
