// Builds a control tree from a layout document: the Window element (size, mininfo, maxinfo,
// caption, sizebox, roundcorner), its Font and Default elements and one root control with its
// children. A broken layout gives where and why; nothing is half applied to a caller's tree.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toolkit/core/attribute_value.h"
#include "toolkit/core/control.h"

namespace toolkit {

struct FontDescription {
  int id = -1;
  std::wstring face;
  int size = 12;
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool isDefault = false;
  bool operator==(const FontDescription&) const = default;
};

using AttributeList = std::vector<std::pair<std::wstring, std::wstring>>;

struct WindowDescription {
  Size size;
  Size minInfo;
  Size maxInfo;
  Rect caption;      // where a press drags the window, from the top-left corner
  Rect sizeBox;      // edge widths that resize the window
  Size roundCorner;  // ellipse of the window's corners
  std::vector<FontDescription> fonts;
  // Attribute sets by tag, applied to every control of that tag before its own attributes.
  std::vector<std::pair<std::wstring, AttributeList>> defaults;
};

struct LoadError {
  std::wstring location;  // "<file>:<line>" or "<file>:/Window/VerticalLayout[1]/Button[2]"
  std::wstring message;
  // The text a window shows before it gives up.
  std::wstring text() const { return L"load resource errr. location:" + location + L" msg:" + message; }
};

struct LoadedLayout {
  WindowDescription window;
  std::unique_ptr<Control> root;
  std::optional<LoadError> error;  // set, and nothing else, when the layout is broken
  bool ok() const { return !error.has_value(); }
};

// Parses "name=\"value\" name2='value'" (the value of a Default element).
Parsed<AttributeList> parseAttributeList(std::wstring_view text);

// The bytes of a layout file by name, empty when there is none. Without one, layouts are read
// through the skin (utility::SkinArchive::instance(): the skin folder first, then the archive).
using LayoutFileReader = std::function<std::vector<uint8_t>(const std::wstring& name)>;

// Builds the layout in |text|; |fileName| names it in error locations. Tags the toolkit does not
// know go to |builder| (may be empty).
//
// <Include source="file.xml"/> stands for the children of the top element of layout file.xml
// (read through |files|, named from the skin's root), wherever an element may stand: in the
// Window (fonts, defaults, the root control) or in a container. An error inside an included
// layout is located in that file, and the message says where it was included from. A file that
// includes itself, directly or not, is refused.
LoadedLayout loadLayout(std::wstring_view text, std::wstring_view fileName,
                        const ControlBuilder& builder = {}, const LayoutFileReader& files = {});

// Reads layout |fileName| (UTF-8) through |files| and builds it as loadLayout does.
LoadedLayout loadLayoutFile(const std::wstring& fileName, const ControlBuilder& builder = {},
                            const LayoutFileReader& files = {});

// Layouts nested deeper than this are refused rather than built.
inline constexpr int kMaxLayoutDepth = 128;
// Includes nested deeper than this, or more of them in one layout, are refused.
inline constexpr int kMaxIncludeDepth = 16;
inline constexpr int kMaxIncludes = 256;

}  // namespace toolkit
