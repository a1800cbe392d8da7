#include "toolkit/text_table.h"

#include <gtest/gtest.h>

#include <string>

namespace toolkit {
namespace {

std::span<const uint8_t> bytesOf(const std::string& text) {
  return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

const std::string kHeader = "Code\tlanguage_code\tzh_CN\ten_US\tde_DE\r\n";
const std::string kNames = "Language\tlanguage_name\t\xE7\xAE\x80\xE4\xBD\x93\tEnglish\tDeutsch\r\n";

TextMap parse(const std::string& text, std::wstring_view language) {
  TextMap map;
  parseTextTable(bytesOf(text), language, map);
  return map;
}

TEST(TextTableTest, ColumnOfTheLanguage) {
  const std::string table = kHeader + kNames +
                            "Label\tsure\t\xE7\xA1\xAE\xE5\xAE\x9A\tOK\tOK\r\n"
                            "Label\tcancel\t\xE5\x8F\x96\xE6\xB6\x88\tCancel\tAbbrechen\r\n";
  struct Case {
    const wchar_t* language;
    const wchar_t* cancel;
  } cases[] = {
      {L"en_US", L"Cancel"},
      {L"de_DE", L"Abbrechen"},
      {L"zh_CN", L"\u53d6\u6d88"},
      {L"hi_IN", L"\u53d6\u6d88"},  // no column: the first locale column
      {L"", L"\u53d6\u6d88"},
      {L"EN_US", L"\u53d6\u6d88"},  // exact match only
  };
  for (const Case& c : cases) {
    const TextMap map = parse(table, c.language);
    ASSERT_EQ(map.count(L"cancel"), 1u) << c.language;
    EXPECT_EQ(map.at(L"cancel"), c.cancel) << c.language;
    EXPECT_EQ(map.size(), 2u);
  }
}

TEST(TextTableTest, RowsAndCells) {
  const std::string table = kHeader + kNames +
                            "Label\tempty\tzh\t\tde\r\n"             // empty text cell
                            "Label\tdup\tzh\tfirst\tde\r\n"
                            "Label\tdup\tzh\tsecond\tde\r\n"         // a later row wins
                            "Label\tlf\tzh\tlone LF\tde\n"
                            "\r\n\r\n\n"                              // blank lines
                            "Label\tshort\tzh\r\n"                   // too few cells: skipped
                            "Label\ttrailing\tzh\ten\t\r\n"          // a trailing TAB adds no cell
                            "Label\tliteral\tzh\tline\\r\\nnext\tde\r\n"
                            "\tnocat\tzh\tempty category\tde\r\n"    // column kept
                            "Label\t\tzh\tno key\tde\r\n"            // empty key: skipped
                            "Label\tlast\tzh\tend of buffer\tde";
  const TextMap map = parse(table, L"en_US");
  EXPECT_EQ(map.at(L"empty"), L"");
  EXPECT_EQ(map.at(L"dup"), L"second");
  EXPECT_EQ(map.at(L"lf"), L"lone LF");
  EXPECT_EQ(map.count(L"short"), 0u);
  EXPECT_EQ(map.at(L"trailing"), L"en");
  EXPECT_EQ(map.at(L"literal"), L"line\\r\\nnext");
  EXPECT_EQ(map.at(L"nocat"), L"empty category");
  EXPECT_EQ(map.count(L""), 0u);
  EXPECT_EQ(map.at(L"last"), L"end of buffer");
  EXPECT_EQ(map.size(), 7u);

  // A trailing TAB gives no extra cell: a row that reaches the column only through it is short.
  EXPECT_EQ(parse(kHeader + kNames + "Label\tk\tzh\t\r\n", L"en_US").count(L"k"), 0u);
  EXPECT_EQ(parse(kHeader + kNames + "Label\tk\tzh\t\t\r\n", L"en_US").at(L"k"), L"");
}

TEST(TextTableTest, CellLengthLimit) {
  const std::string fits(kMaxTableCellLength, 'a');
  const std::string tooLong(kMaxTableCellLength + 1, 'b');
  // 512 characters of three bytes each still fit: the limit counts characters.
  std::string wide;
  for (size_t i = 0; i < kMaxTableCellLength; ++i) wide += "\xE4\xB8\xAD";
  const TextMap map = parse(kHeader + kNames + "Label\tfits\tzh\t" + fits + "\tde\r\n" +
                                "Label\tlong\tzh\t" + tooLong + "\tde\r\n" +
                                "Label\twide\tzh\t" + wide + "\tde\r\n",
                            L"en_US");
  EXPECT_EQ(map.at(L"fits").size(), kMaxTableCellLength);
  EXPECT_EQ(map.at(L"long"), L"");
  EXPECT_EQ(map.at(L"wide").size(), kMaxTableCellLength);
}

TEST(TextTableTest, NulWhereARowBeginsEndsTheTable) {
  std::string table = kHeader + kNames + "Label\ta\tzh\tA\tde\r\n";
  table.push_back('\0');
  table += "Label\tb\tzh\tB\tde\r\n";
  const TextMap map = parse(table, L"en_US");
  EXPECT_EQ(map.count(L"a"), 1u);
  EXPECT_EQ(map.count(L"b"), 0u);
}

TEST(TextTableTest, UnusableMarkerRowsAddNothing) {
  const std::string row = "Label\tk\tzh\ttext\tde\r\n";
  const std::string tables[] = {
      "",
      kHeader,
      "Code\r\n" + kNames + row,                                  // header with one cell
      kHeader + "Language\r\n" + row,                              // names row with one cell
      kHeader + "Language\tlanguage_names\tx\r\n" + row,           // wrong marker
      kHeader + "Language\tLanguage_name\tx\r\n" + row,
      std::string("\0", 1) + kHeader + kNames + row,
  };
  for (const std::string& t : tables) {
    TextMap map;
    EXPECT_FALSE(parseTextTable(bytesOf(t), L"en_US", map)) << t;
    EXPECT_TRUE(map.empty()) << t;
  }
  TextMap map;
  EXPECT_TRUE(parseTextTable(bytesOf(kHeader + kNames), L"en_US", map));
  EXPECT_TRUE(map.empty());
}

class TextMapTest : public ::testing::Test {
 protected:
  void SetUp() override { resetTextsForTesting(); }
  void TearDown() override { resetTextsForTesting(); }
};

TEST_F(TextMapTest, LangStringInsertsAbsentKeysAsThemselves) {
  ASSERT_TRUE(loadTextTable(bytesOf(kHeader + kNames + "Label\tsure\tzh\tOK\tde\r\n"
                                                       "Label\tempty\tzh\t\tde\r\n")));
  EXPECT_EQ(langString("sure"), L"OK");
  EXPECT_EQ(langString("empty"), L"");  // present with an empty text
  const size_t before = textMap().size();
  const std::wstring& first = langString("Title_wndTitle");
  EXPECT_EQ(first, L"Title_wndTitle");
  EXPECT_EQ(textMap().size(), before + 1);
  const std::wstring& second = langString("Title_wndTitle");
  EXPECT_EQ(&first, &second);  // the same entry, not a second insertion
  EXPECT_EQ(textMap().size(), before + 1);
  // The reference survives the map growing.
  for (int i = 0; i < 1000; ++i) langString(("k" + std::to_string(i)).c_str());
  EXPECT_EQ(first, L"Title_wndTitle");
  EXPECT_EQ(langString(static_cast<const char*>(nullptr)), L"");
  const std::string longKey(300, 'x');
  EXPECT_EQ(langString(longKey), std::wstring(300, L'x'));
}

TEST_F(TextMapTest, CurrentLanguagePicksTheColumn) {
  EXPECT_EQ(currentLanguage(), L"en_US");
  setCurrentLanguage(L"de_DE");
  EXPECT_EQ(currentLanguage(), L"de_DE");
  ASSERT_TRUE(loadTextTable(bytesOf(kHeader + kNames + "Label\tcancel\tzh\tCancel\tAbbrechen\r\n")));
  EXPECT_EQ(langString("cancel"), L"Abbrechen");
  setCurrentLanguage(L"");
  EXPECT_EQ(currentLanguage(), L"en_US");
}

TEST_F(TextMapTest, EmptyTableShowsKeys) {
  EXPECT_FALSE(loadTextTable({}));
  EXPECT_EQ(langString("Title_wndTitle"), L"Title_wndTitle");
}

TEST_F(TextMapTest, SkinTexts) {
  ASSERT_TRUE(loadTextTable(bytesOf(kHeader + kNames + "Label\tsure\tzh\tOK\tde\r\n"
                                                       "Label\tempty\tzh\t\tde\r\n")));
  struct Case {
    const wchar_t* attribute;
    const wchar_t* shown;
  } cases[] = {
      {L"@sure", L"OK"},
      {L"@empty", L""},
      {L"@missing", L"@missing"},  // absent keys keep their "@" text
      {L"@", L"@"},
      {L"", L""},
      {L"sure", L"sure"},
      {L"a@sure", L"a@sure"},
      {L"@@sure", L"@@sure"},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveSkinText(c.attribute), c.shown) << c.attribute;
  EXPECT_EQ(textMap().count(L"missing"), 0u);  // resolving does not insert
}

}  // namespace
}  // namespace toolkit
