// Random edits of a settings file: after each one the value reads back exactly, every other
// value reads as before, and the file's other lines are kept as they were, in order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utility/system/profile_file.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Line {
  std::string content;
  std::string ending;
};

// A reader written from the file format alone: lines end in CR LF, LF or CR; "[name]" opens a
// section (blanks around the line and the name ignored); "key=value" lines hold values (blanks
// around the key ignored, the value taken as written); names compare without regard to the case
// of A to Z; the first section and the first key of a name count.
std::vector<Line> linesOf(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<Line> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    Line line{std::string(text.substr(at, end - at)), {}};
    if (end < text.size()) {
      const size_t n = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
      line.ending = std::string(text.substr(end, n));
      end += n;
    }
    lines.push_back(std::move(line));
    at = end;
  }
  return lines;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool same(std::string_view a, std::string_view b) {
  a = trim(a);
  b = trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string_view> sectionName(std::string_view content) {
  const std::string_view line = trim(content);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return line.substr(1, close - 1);
}

std::optional<std::string> readValue(std::string_view text, std::string_view section, std::string_view key) {
  const std::vector<Line> lines = linesOf(text);
  size_t i = 0;
  bool found = false;
  while (i < lines.size() && !found) {
    const auto name = sectionName(lines[i].content);
    found = name && same(*name, section);
    ++i;
  }
  if (!found) return std::nullopt;
  for (; i < lines.size() && !sectionName(lines[i].content); ++i) {
    const std::string& content = lines[i].content;
    const size_t equals = content.find('=');
    if (equals != std::string::npos && same(content.substr(0, equals), key)) return content.substr(equals + 1);
  }
  return std::nullopt;
}

struct Name {
  std::string section, key;
};

// Every section and key the text names, for the "others unchanged" check.
std::vector<Name> namesOf(std::string_view text) {
  std::vector<Name> names;
  std::string section;
  bool inSection = false;
  for (const Line& line : linesOf(text)) {
    if (const auto name = sectionName(line.content)) {
      section = std::string(*name);
      inSection = true;
    } else if (const size_t equals = line.content.find('='); inSection && equals != std::string::npos) {
      names.push_back({section, line.content.substr(0, equals)});
    }
  }
  return names;
}

// The new text's lines are the old ones with at most one line replaced by |entry|, or |entry|
// inserted once, or "[section]" and |entry| added at the end; no other line changes (an old last
// line without an ending may gain one).
void checkLinesKept(std::string_view before, std::string_view after, const std::string& entry) {
  if (before == after) return;  // the key already held this value (checked by the caller)
  const std::vector<Line> a = linesOf(before);
  const std::vector<Line> b = linesOf(after);
  auto sameLine = [&](size_t i, size_t j) {
    if (a[i].content != b[j].content) return false;
    return a[i].ending == b[j].ending || (i + 1 == a.size() && a[i].ending.empty());
  };
  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && sameLine(prefix, prefix)) ++prefix;
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         sameLine(a.size() - 1 - suffix, b.size() - 1 - suffix)) {
    ++suffix;
  }
  const size_t removed = a.size() - prefix - suffix;
  const size_t added = b.size() - prefix - suffix;
  if (removed == 1 && added == 1) {
    check(b[prefix].content == entry);  // the key's line replaced
  } else if (removed == 0 && added == 1) {
    check(b[prefix].content == entry);  // the key added to its section
  } else {
    check(removed == 0 && added == 2 && suffix == 0 && b[prefix + 1].content == entry);  // a new section at the end
    check(sectionName(b[prefix].content).has_value());
  }
  // The byte-order mark stays.
  check((before.substr(0, 3) == "\xEF\xBB\xBF") == (after.substr(0, 3) == "\xEF\xBB\xBF"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int edits = input.ConsumeIntegralInRange(1, 6);
  std::vector<Name> extra;
  std::vector<std::string> values;
  for (int i = 0; i < edits; ++i) {
    extra.push_back({input.ConsumeRandomLengthString(24), input.ConsumeRandomLengthString(24)});
    values.push_back(input.ConsumeRandomLengthString(48));
  }
  std::string text = input.ConsumeRemainingBytesAsString();

  for (int i = 0; i < edits; ++i) {
    const Name& edit = extra[static_cast<size_t>(i)];
    const std::string& value = values[static_cast<size_t>(i)];
    const std::optional<std::string> next = utility::profile::withValue(text, edit.section, edit.key, value);
    check(next.has_value() == utility::profile::isWritable(edit.section, edit.key, value));
    if (!next) continue;
    check(readValue(*next, edit.section, edit.key) == value);
    std::vector<Name> others = namesOf(text);
    others.insert(others.end(), extra.begin(), extra.end());
    for (const Name& other : others) {
      if (same(other.section, edit.section) && same(other.key, edit.key)) continue;
      check(readValue(*next, other.section, other.key) == readValue(text, other.section, other.key));
    }
    if (*next == text) check(readValue(text, edit.section, edit.key) == value);
    checkLinesKept(text, *next, std::string(trim(edit.key)) + "=" + value);
    text = *next;
  }
  return 0;
}
