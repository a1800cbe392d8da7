#include "utility/system/profile_file.h"

#include <mutex>
#include <vector>

#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace utility::profile {

namespace {

struct Line {
  std::string_view content;  // without its ending
  std::string_view ending;   // "\r\n", "\n", "\r" or empty at the end of the text
};

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) {
      lines.push_back({text.substr(at), {}});
      break;
    }
    const size_t endingSize = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
    lines.push_back({text.substr(at, end - at), text.substr(end, endingSize)});
    at = end + endingSize;
  }
  return lines;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  a = trimmed(a);
  b = trimmed(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// The section a header line names; nothing for any other line.
std::optional<std::string_view> sectionOf(std::string_view content) {
  const std::string_view line = trimmed(content);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return line.substr(1, close - 1);
}

// The key a "key=value" line names; nothing for any other line.
std::optional<std::string_view> keyOf(std::string_view content) {
  const size_t equals = content.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return content.substr(0, equals);
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Writers in one process take turns, so two values written at once both arrive.
std::mutex gWriteMutex;

bool write(const std::string& section, const std::string& key, const std::string& value, const std::wstring& file) {
  if (!isWritable(section, key, value)) return false;
  const HostPath host = toHostPath(file);
  if (host.empty()) return false;
  std::lock_guard<std::mutex> lock(gWriteMutex);
  std::vector<uint8_t> bytes;
  if (ufile::exists(file) && !ufile::readFile(file, kMaxFileBytes, bytes)) return false;
  const std::optional<std::string> text =
      withValue(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), section, key, value);
  return text && replaceFile(host, *text);
}

}  // namespace

bool isWritable(std::string_view section, std::string_view key, std::string_view value) {
  for (const std::string_view text : {section, key, value}) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  }
  if (trimmed(section).empty() || section.find(']') != std::string_view::npos) return false;
  const std::string_view name = trimmed(key);
  // A key read back as a section header or a comment would not be the key.
  return !name.empty() && key.find('=') == std::string_view::npos && name.front() != '[' && name.front() != ';';
}

std::optional<std::string> withValue(std::string_view text, std::string_view section, std::string_view key,
                                     std::string_view value) {
  if (!isWritable(section, key, value)) return std::nullopt;
  std::string_view mark;
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
    mark = kUtf8Mark;
    text.remove_prefix(kUtf8Mark.size());
  }
  std::vector<Line> lines = splitLines(text);
  std::string_view newline = "\r\n";
  for (const Line& line : lines) {
    if (!line.ending.empty()) {
      newline = line.ending;
      break;
    }
  }
  const std::string entry = std::string(trimmed(key)) + "=" + std::string(value);

  size_t header = lines.size();
  for (size_t i = 0; i < lines.size() && header == lines.size(); ++i) {
    if (const auto name = sectionOf(lines[i].content); name && sameName(*name, section)) header = i;
  }
  std::string out(mark);
  auto append = [&out](const Line& line) {
    out += line.content;
    out += line.ending;
  };
  if (header == lines.size()) {
    for (const Line& line : lines) append(line);
    if (!lines.empty() && lines.back().ending.empty()) out += newline;
    out += "[" + std::string(trimmed(section)) + "]";
    out += newline;
    out += entry;
    out += newline;
    return out;
  }

  size_t end = header + 1;  // one past the section's last line
  while (end < lines.size() && !sectionOf(lines[end].content)) ++end;
  constexpr size_t kNone = std::string_view::npos;
  size_t found = kNone;
  size_t lastFilled = header;
  for (size_t i = header + 1; i < end; ++i) {
    if (const auto name = keyOf(lines[i].content); found == kNone && name && sameName(*name, key)) found = i;
    if (!trimmed(lines[i].content).empty()) lastFilled = i;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i == found) {
      out += entry;
      out += lines[i].ending.empty() ? std::string_view() : lines[i].ending;
      continue;
    }
    append(lines[i]);
    if (found == kNone && i == lastFilled) {
      if (lines[i].ending.empty()) out += newline;
      out += entry;
      out += newline;
    }
  }
  return out;
}

bool writeString(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                 const std::wstring& file) {
  // A NUL would end the text early on the way through the code page: refused here.
  for (const std::wstring* text : {&section, &key, &value}) {
    if (text->find(L'\0') != std::wstring::npos) return false;
  }
  return write(wideToAnsi(section), wideToAnsi(key), wideToAnsi(value), file);
}

bool writeBytes(const std::string& section, const std::string& key, const std::string& value,
                const std::wstring& file) {
  return write(section, key, value, file);
}

}  // namespace utility::profile
