#include "toolkit/core/layout_loader.h"

#include <algorithm>

#include "toolkit/text_table.h"
#include "utility/base/strings.h"
#include "utility/skin/skin_archive.h"
#include "utility/skin/xml_document.h"

namespace toolkit {
namespace {

using utility::XmlNode;

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring quoted(std::wstring_view text) { return L"\"" + std::wstring(text) + L"\""; }

std::wstring xmlErrorText(utility::XmlError error) {
  switch (error) {
    case utility::XmlError::kNone: return L"no error";
    case utility::XmlError::kEmpty: return L"the layout is empty";
    case utility::XmlError::kNoElement: return L"the layout has no element";
    case utility::XmlError::kSecondRoot: return L"a second top-level element";
    case utility::XmlError::kBadTagStart: return L"\"<\" starts no tag";
    case utility::XmlError::kBadDeclaration: return L"unknown declaration";
    case utility::XmlError::kUnclosed: return L"unclosed tag, comment or section";
    case utility::XmlError::kUnexpectedEndTag: return L"end tag without a start tag";
    case utility::XmlError::kMismatchedEndTag: return L"end tag does not match the open element";
    case utility::XmlError::kUnclosedElement: return L"element not closed at the end";
    case utility::XmlError::kTooLarge: return L"the layout is too large";
  }
  return L"not well-formed";
}

// 1-based line of |offset| in |text|.
size_t lineOf(std::wstring_view text, size_t offset) {
  offset = std::min(offset, text.size());
  return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(offset),
                                            L'\n'));
}

// The text of layout file |name|: UTF-8 (a byte-order mark is dropped), or nothing when the
// file is missing or empty.
std::optional<std::wstring> readLayoutText(const LayoutFileReader& files,
                                           const std::wstring& name) {
  const std::vector<uint8_t> bytes =
      files ? files(name) : utility::SkinArchive::instance().loadFile(name);
  if (bytes.empty()) return std::nullopt;
  std::string_view utf8(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
  return utility::utf8ToWide(utf8);
}

class Builder {
 public:
  Builder(std::wstring_view fileName, const ControlBuilder& custom, const LayoutFileReader& files)
      : custom_(custom), files_(files) {
    frames_.push_back(Frame{std::wstring(fileName), {}});
  }

  LoadedLayout build(const XmlNode& window) {
    LoadedLayout out;
    path().push_back(L"Window");
    if (window.nameView() != L"Window") {
      path().back() = std::wstring(window.nameView());
      fail(L"the top element is " + quoted(window.nameView()) + L", not \"Window\"");
      return finish(std::move(out));
    }
    if (!readWindow(window, out.window)) return finish(std::move(out));
    const bool ok = forEachChild(window, [&](const XmlNode& node) {
      std::wstring_view tag = node.nameView();
      if (tag == L"Font") return readFont(node, out.window);
      if (tag == L"Default") return readDefault(node, out.window);
      if (out.root) {
        return fail(L"a window has one root control; " + quoted(tag) + L" is a second one");
      }
      out.root = buildControl(node, out.window, 1);
      return out.root != nullptr;
    });
    if (!ok) return finish(std::move(out));
    if (!out.root) fail(L"the window has no control");
    return finish(std::move(out));
  }

 private:
  LoadedLayout finish(LoadedLayout out) {
    if (error_) {
      out.root.reset();
      out.window = WindowDescription{};
      out.error = std::move(error_);
    }
    return out;
  }

  // One layout file being read: its name and the element path inside it.
  struct Frame {
    std::wstring fileName;
    std::vector<std::wstring> path;
  };

  std::vector<std::wstring>& path() { return frames_.back().path; }

  static std::wstring locationOf(const Frame& frame) {
    std::wstring location = frame.fileName + L":";
    for (const std::wstring& part : frame.path) location += L"/" + part;
    return location;
  }

  // The files that include the current one, innermost first.
  std::wstring includedFrom() const {
    std::wstring text;
    for (size_t i = frames_.size() - 1; i-- > 0;) {
      text += L" (included from " + locationOf(frames_[i]) + L")";
    }
    return text;
  }

  bool fail(std::wstring message) {
    error_ = LoadError{locationOf(frames_.back()), std::move(message) + includedFrom()};
    return false;
  }

  // Visits the element children of |parent| in order; an Include child stands for the children
  // of the top element of the layout it names.
  template <class Visit>
  bool forEachChild(const XmlNode& parent, Visit&& visit) {
    for (int i = 0; i < parent.childCount(); ++i) {
      const XmlNode& node = *parent.child(i);
      path().push_back(step(parent, i));
      const bool ok = node.nameView() == L"Include" ? include(node, visit) : visit(node);
      if (!ok) return false;
      path().pop_back();
    }
    return true;
  }

  static std::wstring samePath(std::wstring_view name) {
    std::wstring out(name);
    std::replace(out.begin(), out.end(), L'\\', L'/');
    return out;
  }

  template <class Visit>
  bool include(const XmlNode& node, Visit& visit) {
    for (int i = 0; i < node.attributeCount(); ++i) {
      if (node.attributeName(i) != L"source") {
        return fail(L"unknown attribute " + quoted(node.attributeName(i)) + L" of Include");
      }
    }
    if (node.childCount() > 0) return fail(L"an Include holds no elements");
    const std::wstring source = node.attribute(L"source");
    if (source.empty()) return fail(L"an Include needs a source");
    std::wstring chain;
    bool cycle = false;
    for (const Frame& frame : frames_) {
      chain += frame.fileName + L" > ";
      cycle = cycle || samePath(frame.fileName) == samePath(source);
    }
    if (cycle) return fail(L"include cycle: " + chain + source);
    if (static_cast<int>(frames_.size()) > kMaxIncludeDepth) {
      return fail(L"includes nested deeper than " + std::to_wstring(kMaxIncludeDepth));
    }
    if (++includeCount_ > kMaxIncludes) {
      return fail(L"more than " + std::to_wstring(kMaxIncludes) + L" includes");
    }
    const std::optional<std::wstring> text = readLayoutText(files_, source);
    if (!text) return fail(L"cannot read the included layout " + quoted(source));

    utility::XmlDocument document;
    const bool parsed = document.load(*text);
    frames_.push_back(Frame{source, {}});
    if (!parsed) {
      error_ = LoadError{source + L":" + std::to_wstring(lineOf(*text, document.errorOffset())),
                         xmlErrorText(document.error()) + includedFrom()};
      return false;
    }
    const XmlNode& top = *document.root();
    path().push_back(std::wstring(top.nameView()));
    if (top.attributeCount() > 0) {
      return fail(L"the top element of an included layout takes no attributes");
    }
    if (!forEachChild(top, visit)) return false;
    frames_.pop_back();
    return true;
  }

  // "Tag[n]", n counting the parent's children of the same tag from 1.
  static std::wstring step(const XmlNode& parent, int index) {
    std::wstring_view tag = parent.child(index)->nameView();
    int n = 0;
    for (int i = 0; i <= index; ++i) n += parent.child(i)->nameView() == tag ? 1 : 0;
    return std::wstring(tag) + L"[" + std::to_wstring(n) + L"]";
  }

  template <class T, class Set>
  bool take(std::wstring_view name, const Parsed<T>& parsed, Set&& set) {
    if (!parsed) return fail(L"attribute " + quoted(name) + L": " + parsed.error());
    set(parsed.value());
    return true;
  }

  // A window extent: "w,h" within 0..kMaxExtent.
  static Parsed<Size> parseWindowSize(std::wstring_view value) {
    auto size = parseSize(value);
    if (size && (clampExtent(size.value().width) != size.value().width ||
                 clampExtent(size.value().height) != size.value().height)) {
      return Parsed<Size>::failure(L"out of range 0.." + std::to_wstring(kMaxExtent) + L": \"" +
                                   std::wstring(value) + L"\"");
    }
    return size;
  }

  bool readWindow(const XmlNode& node, WindowDescription& window) {
    for (int i = 0; i < node.attributeCount(); ++i) {
      std::wstring_view name = node.attributeName(i);
      std::wstring_view value = node.attributeValue(i);
      bool ok;
      if (name == L"size") {
        ok = take(name, parseWindowSize(value), [&](const Size& s) { window.size = s; });
      } else if (name == L"mininfo") {
        ok = take(name, parseWindowSize(value), [&](const Size& s) { window.minInfo = s; });
      } else if (name == L"maxinfo") {
        ok = take(name, parseWindowSize(value), [&](const Size& s) { window.maxInfo = s; });
      } else if (name == L"caption") {
        ok = take(name, parseRect(value), [&](const Rect& r) { window.caption = r; });
      } else if (name == L"sizebox") {
        ok = take(name, parseRect(value), [&](const Rect& r) { window.sizeBox = r; });
      } else if (name == L"roundcorner") {
        ok = take(name, parseWindowSize(value), [&](const Size& s) { window.roundCorner = s; });
      } else {
        ok = fail(L"unknown attribute " + quoted(name) + L" of Window");
      }
      if (!ok) return false;
    }
    return true;
  }

  bool readFont(const XmlNode& node, WindowDescription& window) {
    FontDescription font;
    bool hasId = false;
    for (int i = 0; i < node.attributeCount(); ++i) {
      std::wstring_view name = node.attributeName(i);
      std::wstring_view value = node.attributeValue(i);
      bool ok;
      if (name == L"id") {
        auto id = parseInt(value);
        if (id && id.value() < 0) return fail(L"attribute \"id\": a font id cannot be negative");
        ok = take(name, id, [&](int v) { font.id = v; });
        hasId = true;
      } else if (name == L"name") {
        font.face = std::wstring(value);
        ok = !font.face.empty() || fail(L"attribute \"name\": a font needs a face name");
      } else if (name == L"size") {
        auto size = parseInt(value);
        if (size && size.value() <= 0) return fail(L"attribute \"size\": must be above 0");
        ok = take(name, size, [&](int v) { font.size = v; });
      } else if (name == L"bold") {
        ok = take(name, parseBool(value), [&](bool v) { font.bold = v; });
      } else if (name == L"underline") {
        ok = take(name, parseBool(value), [&](bool v) { font.underline = v; });
      } else if (name == L"italic") {
        ok = take(name, parseBool(value), [&](bool v) { font.italic = v; });
      } else if (name == L"default") {
        ok = take(name, parseBool(value), [&](bool v) { font.isDefault = v; });
      } else {
        ok = fail(L"unknown attribute " + quoted(name) + L" of Font");
      }
      if (!ok) return false;
    }
    if (!hasId) return fail(L"a Font needs an id");
    if (font.face.empty()) return fail(L"a Font needs a name");
    for (const FontDescription& other : window.fonts) {
      if (other.id == font.id) return fail(L"font id " + std::to_wstring(font.id) + L" defined twice");
      if (other.isDefault && font.isDefault) return fail(L"a second default font");
    }
    window.fonts.push_back(std::move(font));
    return true;
  }

  bool readDefault(const XmlNode& node, WindowDescription& window) {
    if (!node.hasAttribute(L"name")) return fail(L"a Default needs a name");
    std::wstring tag = node.attribute(L"name");
    for (int i = 0; i < node.attributeCount(); ++i) {
      std::wstring_view name = node.attributeName(i);
      if (name != L"name" && name != L"value") {
        return fail(L"unknown attribute " + quoted(name) + L" of Default");
      }
    }
    auto list = parseAttributeList(node.attribute(L"value"));
    if (!list) return fail(L"attribute \"value\": " + list.error());
    for (auto& entry : window.defaults) {
      if (entry.first == tag) return fail(L"a second Default for " + quoted(tag));
    }
    window.defaults.emplace_back(std::move(tag), list.value());
    return true;
  }

  std::unique_ptr<Control> buildControl(const XmlNode& node, const WindowDescription& window, int depth) {
    if (depth > kMaxLayoutDepth) {
      fail(L"controls nested deeper than " + std::to_wstring(kMaxLayoutDepth));
      return nullptr;
    }
    std::wstring_view tag = node.nameView();
    std::unique_ptr<Control> control = createBuiltinControl(tag);
    if (!control && custom_) control = custom_(tag);
    if (!control) {
      fail(L"unknown element " + quoted(tag));
      return nullptr;
    }
    for (const auto& [defaultTag, attributes] : window.defaults) {
      if (defaultTag != tag) continue;
      for (const auto& [name, value] : attributes) {
        if (AttributeError error = control->setAttribute(name, value)) {
          fail(L"Default of " + quoted(tag) + L": " + *error);
          return nullptr;
        }
      }
    }
    for (int i = 0; i < node.attributeCount(); ++i) {
      if (AttributeError error = control->setAttribute(node.attributeName(i),
                                                       node.attributeValue(i))) {
        fail(*error);
        return nullptr;
      }
    }
    auto* combo = dynamic_cast<Combo*>(control.get());
    Container* container = control->asContainer();
    const bool ok = forEachChild(node, [&](const XmlNode& childNode) {
      if (combo != nullptr) return addComboItem(childNode, *combo);
      if (container == nullptr) {
        return fail(quoted(tag) + L" cannot hold " + quoted(childNode.nameView()));
      }
      std::unique_ptr<Control> child = buildControl(childNode, window, depth + 1);
      if (!child) return false;
      container->add(std::move(child));
      return true;
    });
    if (!ok) return nullptr;
    return control;
  }

  bool addComboItem(const XmlNode& node, Combo& combo) {
    if (node.nameView() != L"ListLabelElement") {
      return fail(L"a Combo holds ListLabelElement items, not " + quoted(node.nameView()));
    }
    if (node.childCount() > 0) return fail(L"a combo item holds no elements");
    bool selected = false;
    for (int i = 0; i < node.attributeCount(); ++i) {
      std::wstring_view name = node.attributeName(i);
      if (name == L"selected") {
        if (!take(name, parseBool(node.attributeValue(i)), [&](bool v) { selected = v; })) {
          return false;
        }
      } else if (name != L"text" && name != L"userdata") {
        return fail(L"unknown attribute " + quoted(name) + L" of ListLabelElement");
      }
    }
    combo.addItem(resolveSkinText(node.attribute(L"text")), node.attribute(L"userdata"));
    if (selected) combo.selectItem(combo.itemCount() - 1);
    return true;
  }

  const ControlBuilder& custom_;
  const LayoutFileReader& files_;
  std::vector<Frame> frames_;
  int includeCount_ = 0;
  std::optional<LoadError> error_;
};

}  // namespace

Parsed<AttributeList> parseAttributeList(std::wstring_view text) {
  AttributeList list;
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && isBlank(text[i])) ++i;
  };
  while (true) {
    skipBlanks();
    if (i == text.size()) break;
    size_t nameStart = i;
    while (i < text.size() && !isBlank(text[i]) && text[i] != L'=') ++i;
    std::wstring name(text.substr(nameStart, i - nameStart));
    skipBlanks();
    if (name.empty() || i == text.size() || text[i] != L'=') {
      return Parsed<AttributeList>::failure(L"expected name=\"value\" at character " +
                                            std::to_wstring(nameStart + 1));
    }
    ++i;
    skipBlanks();
    if (i == text.size() || (text[i] != L'"' && text[i] != L'\'')) {
      return Parsed<AttributeList>::failure(L"the value of " + quoted(name) +
                                            L" is not quoted");
    }
    wchar_t quote = text[i++];
    size_t close = text.find(quote, i);
    if (close == std::wstring_view::npos) {
      return Parsed<AttributeList>::failure(L"the value of " + quoted(name) + L" is not closed");
    }
    list.emplace_back(std::move(name), std::wstring(text.substr(i, close - i)));
    i = close + 1;
    if (i < text.size() && !isBlank(text[i])) {
      return Parsed<AttributeList>::failure(L"no blank after the value at character " +
                                            std::to_wstring(i + 1));
    }
  }
  return Parsed<AttributeList>::success(std::move(list));
}

LoadedLayout loadLayoutFile(const std::wstring& fileName, const ControlBuilder& builder,
                            const LayoutFileReader& files) {
  const std::optional<std::wstring> text = readLayoutText(files, fileName);
  if (!text) {
    LoadedLayout out;
    out.error = LoadError{fileName, L"cannot read the layout"};
    return out;
  }
  return loadLayout(*text, fileName, builder, files);
}

LoadedLayout loadLayout(std::wstring_view text, std::wstring_view fileName,
                        const ControlBuilder& builder, const LayoutFileReader& files) {
  utility::XmlDocument document;
  if (!document.load(text)) {
    LoadedLayout out;
    out.error = LoadError{std::wstring(fileName) + L":" +
                              std::to_wstring(lineOf(text, document.errorOffset())),
                          xmlErrorText(document.error())};
    return out;
  }
  return Builder(fileName, builder, files).build(*document.root());
}

}  // namespace toolkit
