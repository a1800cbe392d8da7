#include <gtest/gtest.h>

#include <iterator>
#include <set>

#include "model/language_tables.h"
#include "utility/base/strings.h"
#include "utility/system/usystem.h"

namespace {

TEST(LanguageTables, CodeAndLocaleAreInverse) {
  // The 20 codes of the variant tables and the locale table, and the 19 locales of the shipped
  // text table plus Hindi: each side maps onto the other one to one.
  const wchar_t* const codes[] = {L"cn", L"tw", L"kr", L"vn", L"th", L"ru", L"pt", L"id", L"es", L"fr",
                                  L"jp", L"ar", L"fa", L"de", L"tr", L"en", L"in", L"it", L"my", L"ua"};
  const wchar_t* const locales[] = {L"zh_CN", L"zh_TW", L"en_US", L"ko_KR", L"vi_VN", L"th_TH", L"in_ID",
                                    L"ja_JP", L"ru_RU", L"pt_PT", L"es_ES", L"ar_IL", L"tr_TR", L"fr_FR",
                                    L"de_DE", L"it_IT", L"fa_IR", L"ms_MY", L"uk_UA", L"hi_IN"};
  std::set<std::wstring> localesOfCodes;
  for (const wchar_t* code : codes) {
    const std::wstring locale = localeFromLanguage(code);
    EXPECT_EQ(languageFromLocale(locale), code) << utility::wideToUtf8(code);
    localesOfCodes.insert(locale);
  }
  EXPECT_EQ(localesOfCodes, std::set<std::wstring>(std::begin(locales), std::end(locales)));
  for (const wchar_t* locale : locales) EXPECT_EQ(localeFromLanguage(languageFromLocale(locale)), locale);
  // Rows where code and locale do not share their letters.
  const std::pair<const wchar_t*, const wchar_t*> rows[] = {
      {L"id", L"in_ID"}, {L"in", L"hi_IN"}, {L"ar", L"ar_IL"}, {L"jp", L"ja_JP"}, {L"my", L"ms_MY"},
      {L"ua", L"uk_UA"}, {L"tw", L"zh_TW"}, {L"cn", L"zh_CN"}, {L"kr", L"ko_KR"}, {L"vn", L"vi_VN"}};
  for (const auto& [code, locale] : rows) EXPECT_EQ(localeFromLanguage(code), locale);
  for (const wchar_t* other : {L"ens", L"", L"TW", L"xx", L"hi", L"zh"}) EXPECT_EQ(localeFromLanguage(other), L"en_US");
  for (const wchar_t* other : {L"pl_PL", L"", L"zh_tw", L"en_GB", L"zh-TW", L"hi_IN "}) {
    EXPECT_EQ(languageFromLocale(other), L"en");
  }
}

TEST(LanguageTables, SystemLanguageIds) {
  const std::pair<uint16_t, const wchar_t*> table[] = {
      {0x0804, L"zh_TW"}, {0x0404, L"zh_TW"}, {0x0C04, L"zh_TW"}, {0x1404, L"zh_TW"}, {0x7C04, L"zh_TW"},
      {0x0412, L"ko_KR"}, {0x0409, L"en_US"}, {0x0809, L"en_US"}, {0x042A, L"vi_VN"}, {0x041E, L"th_TH"},
      {0x0419, L"ru_RU"}, {0x0422, L"uk_UA"}, {0x0416, L"pt_PT"}, {0x041F, L"tr_TR"}, {0x0C0A, L"es_ES"},
      {0x040C, L"fr_FR"}, {0x0407, L"de_DE"}, {0x0411, L"ja_JP"}, {0x0421, L"in_ID"}, {0x0401, L"ar_IL"},
      {0x0429, L"fa_IR"}, {0x0439, L"hi_IN"}, {0x0410, L"it_IT"}, {0x043E, L"ms_MY"}, {0x0415, L"en_US"},
      {0x0000, L"en_US"}};
  for (const auto& [id, locale] : table) EXPECT_EQ(localeFromLanguageId(id), locale) << std::hex << id;
  EXPECT_EQ(languageFromLocale(localeFromLanguageId(0x0804)), L"tw");
  EXPECT_EQ(languageFromLocale(localeFromLanguageId(0x0439)), L"in");
}

}  // namespace
