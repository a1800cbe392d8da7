#include "toolkit/core/attribute_value.h"

#include <gtest/gtest.h>

#include <string>

namespace toolkit {
namespace {

TEST(AttributeValueTest, IntegersAcceptSignAndBlanksWithinRange) {
  struct Case {
    const wchar_t* text;
    int value;
  } cases[] = {{L"0", 0},           {L"42", 42},         {L" 7 ", 7},
               {L"-3", -3},         {L"+5", 5},          {L"2147483647", 2147483647},
               {L"-2147483648", -2147483647 - 1}};
  for (const Case& c : cases) {
    auto parsed = parseInt(c.text);
    ASSERT_TRUE(parsed.ok()) << std::wstring(c.text);
    EXPECT_EQ(parsed.value(), c.value) << std::wstring(c.text);
  }
}

TEST(AttributeValueTest, MalformedIntegersSayWhichText) {
  for (const wchar_t* text : {L"", L" ", L"-", L"12x", L"1 2", L"0x10", L"2147483648",
                              L"-2147483649", L"99999999999999999999999", L"1.5"}) {
    auto parsed = parseInt(text);
    EXPECT_FALSE(parsed.ok()) << std::wstring(text);
    EXPECT_NE(parsed.error().find(L"\"" + std::wstring(text) + L"\""), std::wstring::npos)
        << parsed.error();
  }
}

TEST(AttributeValueTest, RectanglesAndSizes) {
  EXPECT_EQ(parseRect(L"1,2,3,4").value(), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(parseRect(L" 0, -5 ,10,20 ").value(), (Rect{0, -5, 10, 20}));
  EXPECT_EQ(parseSize(L"640,400").value(), (Size{640, 400}));
  for (const wchar_t* text : {L"", L"1,2,3", L"1,2,3,4,5", L"1,,3,4", L"a,b,c,d", L"1,2,3,4,",
                              L",1,2,3"}) {
    auto parsed = parseRect(text);
    EXPECT_FALSE(parsed.ok()) << std::wstring(text);
    EXPECT_NE(parsed.error().find(L"rectangle"), std::wstring::npos);
  }
  for (const wchar_t* text : {L"", L"1", L"1,2,3", L"w,h", L"1;2"}) {
    EXPECT_FALSE(parseSize(text).ok()) << std::wstring(text);
  }
}

TEST(AttributeValueTest, ColoursInTheirThreeForms) {
  struct Case {
    const wchar_t* text;
    Color value;
  } cases[] = {{L"#FF268FD6", 0xFF268FD6u}, {L"#268fd6", 0xFF268FD6u},
               {L"0x80FFFFFF", 0x80FFFFFFu}, {L"0X00000000", 0u},
               {L" #000000 ", 0xFF000000u}};
  for (const Case& c : cases) {
    auto parsed = parseColor(c.text);
    ASSERT_TRUE(parsed.ok()) << std::wstring(c.text);
    EXPECT_EQ(parsed.value(), c.value) << std::wstring(c.text);
  }
  for (const wchar_t* text : {L"", L"#", L"#12345", L"#1234567", L"#123456789", L"#GG0000",
                              L"FF0000", L"0x", L"red", L"#FF00 00"}) {
    EXPECT_FALSE(parseColor(text).ok()) << std::wstring(text);
  }
}

TEST(AttributeValueTest, BooleansAndAlignmentWords) {
  EXPECT_TRUE(parseBool(L"true").value());
  EXPECT_FALSE(parseBool(L"false").value());
  for (const wchar_t* text : {L"", L"TRUE", L"1", L"yes", L"truex"}) {
    EXPECT_FALSE(parseBool(text).ok()) << std::wstring(text);
  }
  EXPECT_EQ(parseHAlign(L"left").value(), HAlign::kLeft);
  EXPECT_EQ(parseHAlign(L"center").value(), HAlign::kCenter);
  EXPECT_EQ(parseHAlign(L"right").value(), HAlign::kRight);
  EXPECT_EQ(parseVAlign(L"top").value(), VAlign::kTop);
  EXPECT_EQ(parseVAlign(L"vcenter").value(), VAlign::kCenter);
  EXPECT_EQ(parseVAlign(L"center").value(), VAlign::kCenter);
  EXPECT_EQ(parseVAlign(L"bottom").value(), VAlign::kBottom);
  EXPECT_FALSE(parseHAlign(L"middle").ok());
  EXPECT_FALSE(parseHAlign(L"top").ok());
  EXPECT_FALSE(parseVAlign(L"left").ok());
}

TEST(AttributeValueTest, ImageSyntax) {
  auto full = parseImage(
      L"file='browse_button.png' source='0,0,28,28' corner='4,4,4,4' dest='1,2,27,26' "
      L"mask='#FFFF00FF'");
  ASSERT_TRUE(full.ok()) << full.error();
  EXPECT_EQ(full.value().file, L"browse_button.png");
  EXPECT_EQ(full.value().source, (Rect{0, 0, 28, 28}));
  EXPECT_EQ(full.value().corner, (Rect{4, 4, 4, 4}));
  EXPECT_EQ(full.value().dest, (Rect{1, 2, 27, 26}));
  EXPECT_EQ(full.value().mask, Color{0xFFFF00FFu});
  EXPECT_EQ(full.value().fade, 255);
  EXPECT_EQ(parseImage(L"file='x.png' fade='0'").value().fade, 0);
  EXPECT_EQ(parseImage(L"file='x.png' fade='128'").value().fade, 128);

  auto bare = parseImage(L"bg.png");
  ASSERT_TRUE(bare.ok());
  ImageAttribute bareFile;
  bareFile.file = L"bg.png";
  EXPECT_EQ(bare.value(), bareFile);
  EXPECT_EQ(parseImage(L"'a b.png'").value().file, L"a b.png");
  EXPECT_TRUE(parseImage(L"").value().empty());

  auto doubleQuoted = parseImage(L"file=\"x.png\" source=\"1,1,2,2\"");
  ASSERT_TRUE(doubleQuoted.ok());
  EXPECT_EQ(doubleQuoted.value().source, (Rect{1, 1, 2, 2}));
  auto unquoted = parseImage(L"file=x.png corner=1,1,1,1");
  ASSERT_TRUE(unquoted.ok()) << unquoted.error();
  EXPECT_EQ(unquoted.value().corner, (Rect{1, 1, 1, 1}));
  // Nothing set stays absent: the whole file, drawn over the whole control.
  EXPECT_FALSE(bare.value().source.has_value());
  EXPECT_FALSE(bare.value().dest.has_value());
}

TEST(AttributeValueTest, MalformedImagesNameTheFault) {
  struct Case {
    const wchar_t* text;
    const wchar_t* says;
  } cases[] = {
      {L"file='x.png' source='0,0,28'", L"image source: not a rectangle"},
      {L"file='x.png' corner='a,b,c,d'", L"image corner: not a rectangle"},
      {L"file='x.png' mask='pink'", L"image mask: not a colour"},
      {L"file='x.png' hole='true'", L"unknown image item \"hole\""},
      {L"file='x.png' fade='256'", L"image fade out of range 0..255"},
      {L"file='x.png' fade='-1'", L"image fade out of range 0..255"},
      {L"file='x.png' fade='half'", L"image fade: "},
      {L"file='x.png", L"unclosed quote"},
      {L"source='0,0,1,1'", L"image without a file"},
      {L"file='x.png'source='0,0,1,1'", L"no blank after a quoted value"},
      {L"file='x.png' corner", L"image item without \"=\""},
  };
  for (const Case& c : cases) {
    auto parsed = parseImage(c.text);
    ASSERT_FALSE(parsed.ok()) << std::wstring(c.text);
    EXPECT_NE(parsed.error().find(c.says), std::wstring::npos)
        << std::wstring(c.text) << " -> " << std::wstring(parsed.error());
  }
}

TEST(AttributeValueTest, AnOverlongValueIsCutInTheMessage) {
  std::wstring text(10000, L'9');
  auto parsed = parseInt(text);
  ASSERT_FALSE(parsed.ok());
  EXPECT_LT(parsed.error().size(), 200u);
}

}  // namespace
}  // namespace toolkit
