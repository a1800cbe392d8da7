#include "model/language_tables.h"

#include <array>
#include <map>
#include <utility>

#include "utility/system/usystem.h"

namespace {

using Pair = std::pair<const wchar_t*, const wchar_t*>;

// Code to locale, tested in this order.
constexpr std::array<Pair, 20> kLocales = {{
    {L"tw", L"zh_TW"}, {L"kr", L"ko_KR"}, {L"vn", L"vi_VN"}, {L"th", L"th_TH"}, {L"ru", L"ru_RU"},
    {L"pt", L"pt_PT"}, {L"tr", L"tr_TR"}, {L"es", L"es_ES"}, {L"ar", L"ar_IL"}, {L"jp", L"ja_JP"},
    {L"fa", L"fa_IR"}, {L"in", L"hi_IN"}, {L"de", L"de_DE"}, {L"fr", L"fr_FR"}, {L"id", L"in_ID"},
    {L"cn", L"zh_CN"}, {L"it", L"it_IT"}, {L"en", L"en_US"}, {L"my", L"ms_MY"}, {L"ua", L"uk_UA"},
}};

const std::map<uint16_t, std::wstring>& primaryLanguageLocales() {
  // Built once, on first use.
  static const std::map<uint16_t, std::wstring> kTable = {
      {0x12, L"ko_KR"}, {0x09, L"en_US"}, {0x2A, L"vi_VN"}, {0x1E, L"th_TH"}, {0x19, L"ru_RU"},
      {0x22, L"uk_UA"}, {0x16, L"pt_PT"}, {0x1F, L"tr_TR"}, {0x0A, L"es_ES"}, {0x0C, L"fr_FR"},
      {0x07, L"de_DE"}, {0x11, L"ja_JP"}, {0x21, L"in_ID"}, {0x01, L"ar_IL"}, {0x29, L"fa_IR"},
      {0x39, L"hi_IN"}, {0x10, L"it_IT"}, {0x3E, L"ms_MY"}};
  return kTable;
}

}  // namespace

std::wstring localeFromLanguage(const std::wstring& code) {
  for (const auto& [language, locale] : kLocales) {
    if (code == language) return locale;
  }
  return L"en_US";
}

std::wstring languageFromLocale(const std::wstring& locale) {
  for (const auto& [language, name] : kLocales) {
    if (locale == name) return language;
  }
  return L"en";
}

std::wstring localeFromLanguageId(uint16_t languageId) {
  const uint16_t primary = languageId & 0x3FF;
  if (primary == 0x04) return L"zh_TW";  // every Chinese language id, simplified included
  const auto& table = primaryLanguageLocales();
  const auto it = table.find(primary);
  return it == table.end() ? L"en_US" : it->second;
}

std::wstring systemLocale() { return localeFromLanguageId(utility::usystem::userDefaultUILanguage()); }
