// The texts of the windows: one process-wide map from key to text, filled at start-up from the
// multi-language table ("multi_language.tsv") for the toolkit's current language, and read by
// every window through langString and the "@key" texts of the skin layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace toolkit {

using TextMap = std::unordered_map<std::wstring, std::wstring>;

// A table cell longer than this (in wide characters) is taken as empty.
inline constexpr size_t kMaxTableCellLength = 512;
// The column used when the current language has none in the table: the first locale column.
inline constexpr size_t kFirstLocaleColumn = 2;

// Parses a table (UTF-8, rows ending with CR LF or LF, cells separated by TAB; row 1 the header
// "Code", "language_code", locales...; row 2 "Language", "language_name", names...; then
// category, key, texts...) and sets out[key] = the text in the column of |language| (the first
// locale column when the header lacks it). Blank lines are skipped; a NUL byte where a row
// should begin ends the table. Returns false, adding nothing, when the marker rows are unusable.
bool parseTextTable(std::span<const uint8_t> bytes, std::wstring_view language, TextMap& out);

// The toolkit's current language, a locale such as "en_US" ("en_US" when set empty).
void setCurrentLanguage(const std::wstring& locale);
const std::wstring& currentLanguage();
// Whether |locale| ("ar_IL", "fa_IR", "he_IL", ...) is written right to left: its windows are
// laid out mirrored.
bool isRightToLeftLanguage(std::wstring_view locale);

// The process-wide text map (main thread only).
TextMap& textMap();
// Fills the text map from table bytes for the current language.
bool loadTextTable(std::span<const uint8_t> bytes);

// The text for |key|. An absent key is inserted with itself as its text, so every lookup shows
// something; the reference stays valid as long as the process (entries are never removed).
const std::wstring& langString(std::string_view key);
const std::wstring& langString(const char* key);

// A layout's text attribute: "@key" (with at least one character after "@") becomes the text
// map's entry for key when there is one; anything else, and an absent key, stays as written.
std::wstring resolveSkinText(std::wstring_view attribute);

// Tests: empty the text map and reset the current language.
void resetTextsForTesting();

}  // namespace toolkit
