#include "toolkit/text_table.h"

#include <vector>

#include "utility/base/strings.h"

namespace toolkit {

namespace {

constexpr wchar_t kDefaultLanguage[] = L"en_US";

struct TextState {
  TextMap map;
  std::wstring language = kDefaultLanguage;
};

TextState& state() {
  static TextState s;
  return s;
}

// Reads rows of TAB-separated cells from a byte buffer.
class RowReader {
 public:
  explicit RowReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  // The next row's cells; false at the end of the buffer or at a NUL where a row begins.
  bool next(std::vector<std::wstring>& cells) {
    cells.clear();
    const size_t n = bytes_.size();
    // Blank lines separate nothing. (Leading TABs are not skipped: they are empty cells, and
    // dropping them would shift every text of the row into the wrong column.)
    while (pos_ < n && (bytes_[pos_] == '\r' || bytes_[pos_] == '\n')) ++pos_;
    if (pos_ >= n || bytes_[pos_] == 0) return false;
    size_t end = pos_;
    while (end < n && bytes_[end] != '\r' && bytes_[end] != '\n') ++end;
    size_t cellStart = pos_;
    for (size_t i = pos_; i <= end; ++i) {
      if (i < end && bytes_[i] != '\t') continue;
      // A TAB ending the row opens no further cell.
      if (i == end && i == cellStart && i > pos_) break;
      cells.push_back(decodeCell(cellStart, i));
      cellStart = i + 1;
    }
    pos_ = end;
    return true;
  }

 private:
  std::wstring decodeCell(size_t from, size_t to) const {
    std::wstring text = utility::utf8ToWide(
        std::string_view(reinterpret_cast<const char*>(bytes_.data()) + from, to - from));
    if (text.size() > kMaxTableCellLength) text.clear();
    return text;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace

bool parseTextTable(std::span<const uint8_t> bytes, std::wstring_view language, TextMap& out) {
  RowReader reader(bytes);
  std::vector<std::wstring> header;
  std::vector<std::wstring> names;
  if (!reader.next(header) || header.size() < 2) return false;
  if (!reader.next(names) || names.size() < 2 || names[1] != L"language_name") return false;
  size_t column = kFirstLocaleColumn;
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i] == language) {
      column = i;
      break;
    }
  }
  std::vector<std::wstring> cells;
  while (reader.next(cells)) {
    if (cells.size() <= column || cells.size() < 2 || cells[1].empty()) continue;
    out[cells[1]] = std::move(cells[column]);  // a later row of the same key wins
  }
  return true;
}

void setCurrentLanguage(const std::wstring& locale) {
  state().language = locale.empty() ? std::wstring(kDefaultLanguage) : locale;
}

const std::wstring& currentLanguage() { return state().language; }

bool isRightToLeftLanguage(std::wstring_view locale) {
  // By the language part: Arabic, Persian, Hebrew, Urdu (also a bare code or "ar-EG").
  const std::wstring_view language = locale.substr(0, locale.find_first_of(L"_-"));
  for (std::wstring_view code : {L"ar", L"fa", L"he", L"iw", L"ur"}) {
    if (language == code) return true;
  }
  return false;
}

TextMap& textMap() { return state().map; }

bool loadTextTable(std::span<const uint8_t> bytes) {
  return parseTextTable(bytes, state().language, state().map);
}

const std::wstring& langString(std::string_view key) {
  std::wstring wide = utility::utf8ToWide(key);
  TextMap& map = state().map;
  auto it = map.find(wide);
  if (it == map.end()) it = map.emplace(wide, wide).first;
  return it->second;
}

const std::wstring& langString(const char* key) {
  return langString(key != nullptr ? std::string_view(key) : std::string_view());
}

std::wstring resolveSkinText(std::wstring_view attribute) {
  if (attribute.size() >= 2 && attribute[0] == L'@') {
    const TextMap& map = state().map;
    const auto it = map.find(std::wstring(attribute.substr(1)));
    if (it != map.end()) return it->second;
  }
  return std::wstring(attribute);
}

void resetTextsForTesting() {
  state().map.clear();
  state().language = kDefaultLanguage;
}

}  // namespace toolkit
