// The value texts of layout attributes: integers, rectangles "l,t,r,b", sizes "w,h", colours
// ("#AARRGGBB", "#RRGGBB", "0xAARRGGBB"), booleans, alignment words and the image syntax
// "file='x.png' source='l,t,r,b' corner='l,t,r,b' dest='l,t,r,b' mask='#FFFF00FF' fade='128'"
// (or a bare file name). Every parser returns a result; a malformed text gives a message naming
// the text and what was wrong with it, never an exception.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace toolkit {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

// 0xAARRGGBB; a colour written without alpha is opaque.
using Color = uint32_t;

enum class HAlign { kLeft, kCenter, kRight };
enum class VAlign { kTop, kCenter, kBottom };

struct ImageAttribute {
  std::wstring file;
  std::optional<Rect> source;  // the part of the file to draw; the whole file when absent
  Rect corner;                 // nine-grid corners that keep their size
  std::optional<Rect> dest;    // where in the control; the whole control when absent
  std::optional<Color> mask;   // pixels of this colour are drawn transparent
  int fade = 255;              // opacity of the whole image, 0 (invisible) to 255
  // mirror='true': the image shows a direction (an arrow, a pointing hand), so a right-to-left
  // window draws it flipped left to right. What reaches a painter with it set is drawn flipped.
  bool mirror = false;
  bool empty() const { return file.empty(); }
  bool operator==(const ImageAttribute&) const = default;
};

// A parsed value or the reason it could not be parsed.
template <class T>
class Parsed {
 public:
  static Parsed success(T value) { return Parsed(std::move(value), {}); }
  static Parsed failure(std::wstring message) { return Parsed(std::nullopt, std::move(message)); }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const { return *value_; }
  const std::wstring& error() const { return error_; }

 private:
  Parsed(std::optional<T> value, std::wstring error)
      : value_(std::move(value)), error_(std::move(error)) {}
  std::optional<T> value_;
  std::wstring error_;
};

// A decimal integer with an optional sign, surrounding blanks allowed, within int's range.
Parsed<int> parseInt(std::wstring_view text);
// "l,t,r,b": four integers.
Parsed<Rect> parseRect(std::wstring_view text);
// "w,h": two integers.
Parsed<Size> parseSize(std::wstring_view text);
Parsed<Color> parseColor(std::wstring_view text);
// "true" or "false".
Parsed<bool> parseBool(std::wstring_view text);
// "left", "center", "right".
Parsed<HAlign> parseHAlign(std::wstring_view text);
// "top", "vcenter" (or "center"), "bottom".
Parsed<VAlign> parseVAlign(std::wstring_view text);
// The image syntax above; an empty text is an empty image (no image).
Parsed<ImageAttribute> parseImage(std::wstring_view text);

}  // namespace toolkit
