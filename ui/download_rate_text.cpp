#include "ui/download_rate_text.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string_view>

#include "toolkit/text_table.h"

namespace ui {
namespace {

// A table entry, or |fallback| when the table has none (langString would show the key itself).
std::wstring tableText(const wchar_t* key, std::wstring_view fallback) {
  const toolkit::TextMap& texts = toolkit::textMap();
  const auto found = texts.find(key);
  if (found == texts.end() || found->second.empty()) return std::wstring(fallback);
  return found->second;
}

// Each "%s" of a translated text takes the next value; nothing else in it is read as a
// conversion, so a stray "%" in a translation is shown, never interpreted.
std::wstring fill(const std::wstring& text, std::initializer_list<std::wstring> values) {
  std::wstring out;
  auto next = values.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%' && i + 1 < text.size() && text[i + 1] == L's') {
      if (next != values.end()) out += *next++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// |value| with |decimals| decimals in the language's decimal point and digits.
std::wstring localNumber(double value, int decimals) {
  char ascii[64];
  std::snprintf(ascii, sizeof ascii, "%.*f", decimals, value);
  const std::wstring point = tableText(L"number_decimal_point", L".");
  const std::wstring digits = tableText(L"number_digits", L"0123456789");
  const bool ownDigits = digits.size() == 10;
  std::wstring out;
  for (const char* c = ascii; *c != '\0'; ++c) {
    if (*c == '.') {
      out += point;
    } else if (*c >= '0' && *c <= '9') {
      out += ownDigits ? digits[static_cast<size_t>(*c - '0')] : static_cast<wchar_t>(*c);
    } else {
      out += static_cast<wchar_t>(*c);
    }
  }
  return out;
}

}  // namespace

std::wstring rateText(double bytesPerSecond) {
  struct Unit {
    const wchar_t* key;
    const wchar_t* fallback;
  };
  static constexpr Unit kUnits[] = {{L"download_rate_B", L"%s B/s"},
                                    {L"download_rate_KB", L"%s KB/s"},
                                    {L"download_rate_MB", L"%s MB/s"},
                                    {L"download_rate_GB", L"%s GB/s"}};
  double value = bytesPerSecond > 0 ? bytesPerSecond : 0;
  size_t unit = 0;
  // A larger unit once the number would reach 1000 as written.
  while (unit + 1 < std::size(kUnits) && std::round(value) >= 1000) {
    value /= 1024;
    ++unit;
  }
  const int decimals = unit == 0 || std::round(value * 10) / 10 >= 100 ? 0 : 1;
  return fill(tableText(kUnits[unit].key, kUnits[unit].fallback), {localNumber(value, decimals)});
}

std::wstring timeLeftText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  auto whole = [](int64_t n) { return localNumber(static_cast<double>(n), 0); };
  const int64_t fives = (seconds + 2) / 5 * 5;
  if (fives < 60) return fill(tableText(L"time_left_seconds", L"%s s"), {whole(fives < 5 ? 5 : fives)});
  const int64_t minutes = (seconds + 30) / 60;
  if (minutes < 60) return fill(tableText(L"time_left_minutes", L"%s min"), {whole(minutes)});
  const int64_t tens = (seconds + 300) / 600 * 10;  // minutes, to the nearest ten
  const int64_t hours = tens / 60;
  const int64_t rest = tens % 60;
  if (rest == 0) return fill(tableText(L"time_left_hours", L"%s h"), {whole(hours)});
  return fill(tableText(L"time_left_hours_minutes", L"%s h %s min"), {whole(hours), whole(rest)});
}

std::wstring downloadRateText(const utility::TransferRateEstimator::Estimate& estimate) {
  if (!estimate.known) return {};
  const std::wstring rate = rateText(estimate.bytesPerSecond);
  if (estimate.secondsLeft < 0) return rate;
  return fill(tableText(L"download_rate_left", L"%s · about %s left"), {rate, timeLeftText(estimate.secondsLeft)});
}

}  // namespace ui
