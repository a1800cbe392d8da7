#include "toolkit/core/attribute_value.h"

#include <climits>
#include <cwctype>
#include <vector>

namespace toolkit {
namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring_view trim(std::wstring_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::wstring quoted(std::wstring_view text) {
  // Long values are cut so that a message stays readable.
  constexpr size_t kShown = 64;
  std::wstring out = L"\"";
  out.append(text.substr(0, kShown));
  if (text.size() > kShown) out.append(L"...");
  out.push_back(L'"');
  return out;
}

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

std::optional<int> integer(std::wstring_view text) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  long long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

// Splits on commas and parses each part; nullopt unless there are exactly |count| integers.
std::optional<std::vector<int>> integers(std::wstring_view text, size_t count) {
  std::vector<int> values;
  size_t start = 0;
  while (true) {
    size_t comma = text.find(L',', start);
    std::wstring_view part = text.substr(start, comma == std::wstring_view::npos ? text.npos
                                                                                 : comma - start);
    auto value = integer(part);
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (values.size() > count) return std::nullopt;
    if (comma == std::wstring_view::npos) break;
    start = comma + 1;
  }
  if (values.size() != count) return std::nullopt;
  return values;
}

}  // namespace

Parsed<int> parseInt(std::wstring_view text) {
  if (auto value = integer(text)) return Parsed<int>::success(*value);
  return Parsed<int>::failure(L"not an integer: " + quoted(text));
}

Parsed<Rect> parseRect(std::wstring_view text) {
  auto values = integers(text, 4);
  if (!values) return Parsed<Rect>::failure(L"not a rectangle \"l,t,r,b\": " + quoted(text));
  return Parsed<Rect>::success(Rect{(*values)[0], (*values)[1], (*values)[2], (*values)[3]});
}

Parsed<Size> parseSize(std::wstring_view text) {
  auto values = integers(text, 2);
  if (!values) return Parsed<Size>::failure(L"not a size \"w,h\": " + quoted(text));
  return Parsed<Size>::success(Size{(*values)[0], (*values)[1]});
}

Parsed<Color> parseColor(std::wstring_view text) {
  std::wstring_view digits = trim(text);
  if (digits.starts_with(L"#")) {
    digits.remove_prefix(1);
  } else if (digits.starts_with(L"0x") || digits.starts_with(L"0X")) {
    digits.remove_prefix(2);
  } else {
    return Parsed<Color>::failure(L"not a colour \"#AARRGGBB\": " + quoted(text));
  }
  if (digits.size() != 6 && digits.size() != 8) {
    return Parsed<Color>::failure(L"a colour needs 6 or 8 hex digits: " + quoted(text));
  }
  Color value = 0;
  for (wchar_t c : digits) {
    int digit = hexDigit(c);
    if (digit < 0) return Parsed<Color>::failure(L"not a hex digit in colour: " + quoted(text));
    value = (value << 4) | static_cast<Color>(digit);
  }
  if (digits.size() == 6) value |= 0xFF000000u;
  return Parsed<Color>::success(value);
}

Parsed<bool> parseBool(std::wstring_view text) {
  std::wstring_view word = trim(text);
  if (word == L"true") return Parsed<bool>::success(true);
  if (word == L"false") return Parsed<bool>::success(false);
  return Parsed<bool>::failure(L"not \"true\" or \"false\": " + quoted(text));
}

Parsed<HAlign> parseHAlign(std::wstring_view text) {
  std::wstring_view word = trim(text);
  if (word == L"left") return Parsed<HAlign>::success(HAlign::kLeft);
  if (word == L"center") return Parsed<HAlign>::success(HAlign::kCenter);
  if (word == L"right") return Parsed<HAlign>::success(HAlign::kRight);
  return Parsed<HAlign>::failure(L"not \"left\", \"center\" or \"right\": " + quoted(text));
}

Parsed<VAlign> parseVAlign(std::wstring_view text) {
  std::wstring_view word = trim(text);
  if (word == L"top") return Parsed<VAlign>::success(VAlign::kTop);
  if (word == L"vcenter" || word == L"center") return Parsed<VAlign>::success(VAlign::kCenter);
  if (word == L"bottom") return Parsed<VAlign>::success(VAlign::kBottom);
  return Parsed<VAlign>::failure(L"not \"top\", \"vcenter\" or \"bottom\": " + quoted(text));
}

Parsed<ImageAttribute> parseImage(std::wstring_view text) {
  std::wstring_view rest = trim(text);
  ImageAttribute image;
  if (rest.find(L'=') == std::wstring_view::npos) {
    // A bare file name; quotes around it are allowed.
    if (rest.size() >= 2 && (rest.front() == L'\'' || rest.front() == L'"') &&
        rest.back() == rest.front()) {
      rest = rest.substr(1, rest.size() - 2);
    }
    image.file = std::wstring(rest);
    return Parsed<ImageAttribute>::success(std::move(image));
  }
  while (!rest.empty()) {
    size_t equals = rest.find(L'=');
    if (equals == std::wstring_view::npos) {
      return Parsed<ImageAttribute>::failure(L"image item without \"=\" in " + quoted(text));
    }
    std::wstring_view key = trim(rest.substr(0, equals));
    rest = trim(rest.substr(equals + 1));
    std::wstring_view value;
    if (!rest.empty() && (rest.front() == L'\'' || rest.front() == L'"')) {
      size_t close = rest.find(rest.front(), 1);
      if (close == std::wstring_view::npos) {
        return Parsed<ImageAttribute>::failure(L"unclosed quote in image " + quoted(text));
      }
      value = rest.substr(1, close - 1);
      rest = rest.substr(close + 1);
      if (!rest.empty() && !isBlank(rest.front())) {
        return Parsed<ImageAttribute>::failure(L"no blank after a quoted value in image " +
                                          quoted(text));
      }
    } else {
      size_t end = 0;
      while (end < rest.size() && !isBlank(rest[end])) ++end;
      value = rest.substr(0, end);
      rest = rest.substr(end);
    }
    rest = trim(rest);
    if (key == L"file") {
      image.file = std::wstring(value);
    } else if (key == L"source" || key == L"corner" || key == L"dest") {
      auto rect = parseRect(value);
      if (!rect) return Parsed<ImageAttribute>::failure(L"image " + std::wstring(key) + L": " +
                                                   rect.error());
      if (key == L"source") image.source = rect.value();
      else if (key == L"corner") image.corner = rect.value();
      else image.dest = rect.value();
    } else if (key == L"mask") {
      auto color = parseColor(value);
      if (!color) return Parsed<ImageAttribute>::failure(L"image mask: " + color.error());
      image.mask = color.value();
    } else if (key == L"fade") {
      auto fade = parseInt(value);
      if (!fade) return Parsed<ImageAttribute>::failure(L"image fade: " + fade.error());
      if (fade.value() < 0 || fade.value() > 255) {
        return Parsed<ImageAttribute>::failure(L"image fade out of range 0..255: " + quoted(value));
      }
      image.fade = fade.value();
    } else if (key == L"mirror") {
      auto mirror = parseBool(value);
      if (!mirror) return Parsed<ImageAttribute>::failure(L"image mirror: " + mirror.error());
      image.mirror = mirror.value();
    } else {
      return Parsed<ImageAttribute>::failure(L"unknown image item " + quoted(key) + L" in " +
                                        quoted(text));
    }
  }
  if (image.file.empty()) {
    return Parsed<ImageAttribute>::failure(L"image without a file: " + quoted(text));
  }
  return Parsed<ImageAttribute>::success(std::move(image));
}

}  // namespace toolkit
