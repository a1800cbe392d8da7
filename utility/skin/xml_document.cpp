#include "utility/skin/xml_document.h"

#include <cstring>
#include <limits>
#include <unordered_map>
#include <vector>

namespace utility {

namespace xml_detail {

struct Attribute {
  uint32_t nameOffset;
  uint32_t nameLength;
  uint32_t valueOffset;
  uint32_t valueLength;
};

// Everything a loaded document owns: one text pool for names, values and texts, the nodes in
// document order, the attributes, and the child lists (node numbers grouped by parent).
struct Storage {
  std::wstring pool;
  std::unique_ptr<XmlNode[]> nodes;
  size_t nodeCount = 0;
  std::vector<Attribute> attributes;
  std::vector<uint32_t> children;

  std::wstring_view view(uint32_t offset, uint32_t length) const {
    return std::wstring_view(pool.data() + offset, length);
  }
  static std::unique_ptr<XmlNode[]> makeNodes(size_t count) {
    return std::unique_ptr<XmlNode[]>(new XmlNode[count]);
  }
};

namespace {

constexpr uint32_t kNoParent = std::numeric_limits<uint32_t>::max();
// Beyond this many attributes in one tag, repeated names are found through a hash table.
constexpr uint32_t kLinearAttributeScan = 16;

inline bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

inline bool isNameStart(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || static_cast<uint32_t>(c) > 0x60 || c == L'_' || c == L':';
}

inline int digitValue(wchar_t c, bool hex) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (!hex) return -1;
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Appends one code point; false when it is not a character wide text can carry.
bool appendCodePoint(std::wstring& out, uint32_t value) {
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  if constexpr (sizeof(wchar_t) == 2) {
    if (value > 0xFFFF) {
      value -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (value & 0x3FF)));
      return true;
    }
  }
  out.push_back(static_cast<wchar_t>(value));
  return true;
}

inline bool matches(std::wstring_view rest, size_t at, const wchar_t* what) {
  for (; *what != 0; ++at, ++what) {
    if (at >= rest.size() || rest[at] != *what) return false;
  }
  return true;
}

// Decodes the character reference at |s[amp]| ("&"), appending its character; returns the
// position after it, or 0 when it is no reference (the "&" then stays literal).
size_t decodeReference(std::wstring_view s, size_t amp, std::wstring& out) {
  const std::wstring_view rest = s.substr(amp);
  if (rest.size() < 3) return 0;
  if (rest[1] != L'#') {
    wchar_t value = 0;
    size_t length = 0;
    switch (rest[1]) {
      case L'l':
        if (matches(rest, 2, L"t;")) value = L'<', length = 4;
        break;
      case L'g':
        if (matches(rest, 2, L"t;")) value = L'>', length = 4;
        break;
      case L'a':
        if (matches(rest, 2, L"mp;")) {
          value = L'&', length = 5;
        } else if (matches(rest, 2, L"pos;")) {
          value = L'\'', length = 6;
        }
        break;
      case L'q':
        if (matches(rest, 2, L"uot;")) value = L'"', length = 6;
        break;
      default:
        break;
    }
    if (length == 0) return 0;
    out.push_back(value);
    return amp + length;
  }
  const bool hex = rest[2] == L'x';
  size_t j = hex ? 3 : 2;
  uint32_t value = 0;
  for (int digits = 0; j < rest.size() && digits < 7; ++j, ++digits) {
    const int d = digitValue(rest[j], hex);
    if (d < 0) break;
    value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(d);
  }
  if (j >= rest.size() || rest[j] != L';') return 0;
  if (!appendCodePoint(out, value)) return 0;
  return amp + j + 1;
}

// Appends |s| with its character references decoded; |amp| is the first "&" (or npos).
void appendDecodedFrom(std::wstring& out, std::wstring_view s, size_t amp) {
  size_t i = 0;
  while (amp != std::wstring_view::npos) {
    out.append(s.data() + i, amp - i);
    const size_t next = decodeReference(s, amp, out);
    if (next == 0) {
      out.push_back(L'&');
      i = amp + 1;
    } else {
      i = next;
    }
    amp = s.find(L'&', i);
  }
  out.append(s.data() + i, s.size() - i);
}

size_t findSequence(std::wstring_view s, std::wstring_view what, size_t from) {
  return s.find(what, from);
}

}  // namespace

class Parser {
 public:
  Parser(std::wstring_view text, Storage& storage) : text_(text), s_(storage) {}

  XmlError run();
  size_t errorOffset() const { return errorAt_; }

 private:
  struct NodeRecord {
    uint32_t nameOffset;
    uint32_t nameLength;
    uint32_t textOffset = 0;
    uint32_t textLength = 0;
    uint32_t attrFirst;
    uint32_t attrCount = 0;
    uint32_t parent;
    uint32_t childCount = 0;
  };
  struct Open {
    uint32_t node;
    uint32_t textStart;        // where this element's text begins in the pool
    bool keepsText;            // false for the root and once a child element appeared
    bool hasMarkup = false;    // a comment, instruction, CDATA or declaration appeared
    bool firstRunBlank = false;
  };

  XmlError fail(XmlError error, size_t at) {
    errorAt_ = at;
    return error;
  }
  uint32_t poolSize() const { return static_cast<uint32_t>(s_.pool.size()); }

  void onText(std::wstring_view run);
  void onMarkup();
  void onCData(std::wstring_view content);
  XmlError startTag(size_t& pos);
  XmlError endTag(size_t& pos);
  void addAttribute(NodeRecord& node, std::wstring_view name, std::wstring_view rawValue,
                    size_t amp);
  void finish();

  std::wstring_view text_;
  Storage& s_;
  std::vector<NodeRecord> nodes_;
  std::vector<Open> open_;
  bool rootClosed_ = false;
  size_t errorAt_ = 0;
  // Attribute names of the tag being read, when it has many.
  std::unordered_map<std::wstring_view, uint32_t> attributeIndex_;
  std::vector<std::wstring_view> attributeNames_;
};

void Parser::onText(std::wstring_view run) {
  Open& top = open_.back();
  if (!top.keepsText) return;
  bool blank = true;
  for (wchar_t c : run) {
    if (!isSpace(c)) {
      blank = false;
      break;
    }
  }
  const size_t amp = run.find(L'&');
  if (top.hasMarkup) {
    // Between markup, runs of white space alone are layout, not text.
    if (!blank) appendDecodedFrom(s_.pool, run, amp);
    return;
  }
  appendDecodedFrom(s_.pool, run, amp);
  top.firstRunBlank = blank;
}

void Parser::onMarkup() {
  Open& top = open_.back();
  if (top.hasMarkup) return;
  top.hasMarkup = true;
  if (top.keepsText && top.firstRunBlank) s_.pool.resize(top.textStart);
}

void Parser::onCData(std::wstring_view content) {
  onMarkup();
  if (open_.back().keepsText) s_.pool.append(content);
}

void Parser::addAttribute(NodeRecord& node, std::wstring_view name, std::wstring_view rawValue,
                          size_t amp) {
  uint32_t existing = kNoParent;
  if (node.attrCount < kLinearAttributeScan) {
    for (uint32_t i = 0; i < node.attrCount; ++i) {
      if (attributeNames_[i] == name) {
        existing = i;
        break;
      }
    }
  } else {
    if (attributeIndex_.empty()) {
      for (uint32_t i = 0; i < node.attrCount; ++i) attributeIndex_.emplace(attributeNames_[i], i);
    }
    auto it = attributeIndex_.find(name);
    if (it != attributeIndex_.end()) existing = it->second;
  }
  const uint32_t valueOffset = poolSize();
  appendDecodedFrom(s_.pool, rawValue, amp);
  const uint32_t valueLength = poolSize() - valueOffset;
  if (existing != kNoParent) {
    // A repeated name keeps its first place and takes the later value.
    Attribute& a = s_.attributes[node.attrFirst + existing];
    a.valueOffset = valueOffset;
    a.valueLength = valueLength;
    return;
  }
  const uint32_t nameOffset = poolSize();
  s_.pool.append(name);
  s_.attributes.push_back({nameOffset, static_cast<uint32_t>(name.size()), valueOffset, valueLength});
  attributeNames_.push_back(name);
  if (!attributeIndex_.empty()) attributeIndex_.emplace(name, node.attrCount);
  ++node.attrCount;
}

XmlError Parser::startTag(size_t& pos) {
  const std::wstring_view t = text_;
  const size_t n = t.size();
  const size_t tagStart = pos;
  if (open_.empty() && rootClosed_) return fail(XmlError::kSecondRoot, tagStart);
  if (!open_.empty() && open_.back().keepsText) {
    // An element with child elements has no text: drop what was gathered for it.
    Open& parent = open_.back();
    parent.keepsText = false;
    s_.pool.resize(parent.textStart);
  }
  size_t p = pos + 1;
  const size_t nameStart = p;
  while (p < n && !isSpace(t[p]) && t[p] != L'>' && t[p] != L'/') ++p;
  if (p >= n) return fail(XmlError::kUnclosed, tagStart);

  NodeRecord node{};
  node.nameOffset = poolSize();
  node.nameLength = static_cast<uint32_t>(p - nameStart);
  s_.pool.append(t.data() + nameStart, p - nameStart);
  node.attrFirst = static_cast<uint32_t>(s_.attributes.size());
  node.parent = open_.empty() ? kNoParent : open_.back().node;
  if (!attributeIndex_.empty()) attributeIndex_.clear();
  attributeNames_.clear();

  bool empty = false;
  while (true) {
    while (p < n && isSpace(t[p])) ++p;
    if (p >= n) return fail(XmlError::kUnclosed, tagStart);
    const wchar_t c = t[p];
    if (c == L'>') {
      ++p;
      break;
    }
    if (c == L'/') {
      if (p + 1 < n && t[p + 1] == L'>') {
        empty = true;
        p += 2;
        break;
      }
      ++p;  // a stray "/" inside a tag means nothing
      continue;
    }
    const size_t an = p;
    while (p < n && !isSpace(t[p]) && t[p] != L'=' && t[p] != L'>' && t[p] != L'/') ++p;
    const std::wstring_view name = t.substr(an, p - an);
    while (p < n && isSpace(t[p])) ++p;
    if (p >= n) return fail(XmlError::kUnclosed, tagStart);
    if (t[p] != L'=') {
      addAttribute(node, name, {}, std::wstring_view::npos);  // a bare name has an empty value
      continue;
    }
    ++p;
    while (p < n && isSpace(t[p])) ++p;
    if (p >= n) return fail(XmlError::kUnclosed, tagStart);
    std::wstring_view raw;
    size_t amp = std::wstring_view::npos;
    if (t[p] == L'"' || t[p] == L'\'') {
      const wchar_t quote = t[p];
      const size_t v = ++p;
      for (; p < n && t[p] != quote; ++p) {
        if (t[p] == L'&' && amp == std::wstring_view::npos) amp = p - v;
      }
      if (p >= n) return fail(XmlError::kUnclosed, tagStart);
      raw = t.substr(v, p - v);
      ++p;
    } else {
      const size_t v = p;
      for (; p < n && !isSpace(t[p]) && t[p] != L'>'; ++p) {
        if (t[p] == L'&' && amp == std::wstring_view::npos) amp = p - v;
      }
      raw = t.substr(v, p - v);
    }
    addAttribute(node, name, raw, amp);
  }

  const uint32_t index = static_cast<uint32_t>(nodes_.size());
  if (!open_.empty()) ++nodes_[open_.back().node].childCount;
  nodes_.push_back(node);
  if (empty) {
    if (open_.empty()) rootClosed_ = true;
  } else {
    open_.push_back({index, poolSize(), !open_.empty()});
  }
  pos = p;
  return XmlError::kNone;
}

XmlError Parser::endTag(size_t& pos) {
  const std::wstring_view t = text_;
  const size_t gt = t.find(L'>', pos + 2);
  if (gt == std::wstring_view::npos) return fail(XmlError::kUnclosed, pos);
  size_t end = gt;
  while (end > pos + 2 && isSpace(t[end - 1])) --end;
  const std::wstring_view name = t.substr(pos + 2, end - pos - 2);
  if (open_.empty()) return fail(XmlError::kUnexpectedEndTag, pos);
  const Open& top = open_.back();
  NodeRecord& node = nodes_[top.node];
  if (s_.view(node.nameOffset, node.nameLength) != name) {
    return fail(XmlError::kMismatchedEndTag, pos);
  }
  if (top.keepsText) {
    node.textOffset = top.textStart;
    node.textLength = poolSize() - top.textStart;
  }
  open_.pop_back();
  if (open_.empty()) rootClosed_ = true;
  pos = gt + 1;
  return XmlError::kNone;
}

XmlError Parser::run() {
  const std::wstring_view t = text_;
  const size_t n = t.size();
  if (n == 0) return fail(XmlError::kEmpty, 0);
  if (n >= std::numeric_limits<uint32_t>::max()) return fail(XmlError::kTooLarge, 0);
  // Decoded text is never longer than its source, so the pool never moves while parsing.
  s_.pool.reserve(n);
  // Rough guesses that spare most regrowth on typical documents.
  nodes_.reserve(n / 48 + 4);
  s_.attributes.reserve(n / 64 + 4);
  size_t pos = 0;
  while (pos < n) {
    if (t[pos] != L'<') {
      size_t lt = t.find(L'<', pos);
      if (lt == std::wstring_view::npos) lt = n;
      // Only an element that can still have text looks at the run.
      if (!open_.empty() && open_.back().keepsText) onText(t.substr(pos, lt - pos));
      pos = lt;
      continue;
    }
    if (pos + 1 >= n) return fail(XmlError::kUnclosed, pos);
    const wchar_t c = t[pos + 1];
    if (c == L'/') {
      if (XmlError e = endTag(pos); e != XmlError::kNone) return e;
    } else if (c == L'?') {
      const size_t close = findSequence(t, L"?>", pos + 2);
      if (close == std::wstring_view::npos) return fail(XmlError::kUnclosed, pos);
      if (!open_.empty()) onMarkup();
      pos = close + 2;
    } else if (c == L'!') {
      if (pos + 2 >= n) return fail(XmlError::kUnclosed, pos);
      const wchar_t d = t[pos + 2];
      if (d == L'-' || d == L'[') {
        if (pos + 3 >= n) return fail(XmlError::kUnclosed, pos);
        if (t[pos + 3] != (d == L'-' ? L'-' : L'C')) return fail(XmlError::kBadDeclaration, pos);
        if (d == L'-') {
          const size_t close = findSequence(t, L"-->", pos + 4);
          if (close == std::wstring_view::npos) return fail(XmlError::kUnclosed, pos);
          if (!open_.empty()) onMarkup();
          pos = close + 3;
        } else {
          // "<![C": the rest of "CDATA[" is taken as written.
          const size_t close = findSequence(t, L"]]>", pos + 4);
          if (close == std::wstring_view::npos) return fail(XmlError::kUnclosed, pos);
          const size_t start = std::min(pos + 9, close);
          if (!open_.empty()) onCData(t.substr(start, close - start));
          pos = close + 3;
        }
      } else if (d == L'D') {
        size_t depth = 1;
        size_t p = pos + 3;
        for (; p < n; ++p) {
          if (t[p] == L'<') {
            ++depth;
          } else if (t[p] == L'>' && --depth == 0) {
            break;
          }
        }
        if (p >= n) return fail(XmlError::kUnclosed, pos);
        if (!open_.empty()) onMarkup();
        pos = p + 1;
      } else if (d == L'E' || d == L'A' || d == L'N') {
        const size_t close = t.find(L'>', pos + 3);
        if (close == std::wstring_view::npos) return fail(XmlError::kUnclosed, pos);
        if (!open_.empty()) onMarkup();
        pos = close + 1;
      } else {
        return fail(XmlError::kBadDeclaration, pos);
      }
    } else if (isNameStart(c)) {
      if (XmlError e = startTag(pos); e != XmlError::kNone) return e;
    } else {
      return fail(XmlError::kBadTagStart, pos);
    }
  }
  if (!open_.empty()) return fail(XmlError::kUnclosedElement, n);
  if (nodes_.empty()) return fail(XmlError::kNoElement, n);
  finish();
  return XmlError::kNone;
}

void Parser::finish() {
  const size_t count = nodes_.size();
  s_.nodes = Storage::makeNodes(count);
  s_.nodeCount = count;
  s_.children.assign(count > 0 ? count - 1 : 0, 0);
  // Child lists: each parent's range in |children|, filled in document order.
  std::vector<uint32_t> fill(count, 0);
  uint32_t next = 0;
  for (size_t i = 0; i < count; ++i) {
    const NodeRecord& r = nodes_[i];
    XmlNode& node = s_.nodes[i];
    node.storage_ = &s_;
    node.nameOffset_ = r.nameOffset;
    node.nameLength_ = r.nameLength;
    node.textOffset_ = r.textOffset;
    node.textLength_ = r.textLength;
    node.attrFirst_ = r.attrFirst;
    node.attrCount_ = r.attrCount;
    node.childFirst_ = next;
    node.childCount_ = r.childCount;
    next += r.childCount;
    if (r.parent != kNoParent) {
      s_.children[s_.nodes[r.parent].childFirst_ + fill[r.parent]++] = static_cast<uint32_t>(i);
    }
  }
  nodes_.clear();
}

}  // namespace xml_detail

using xml_detail::Storage;

const XmlNode* XmlNode::child(int index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= childCount_) return nullptr;
  return &storage_->nodes[storage_->children[childFirst_ + static_cast<uint32_t>(index)]];
}

XmlNode* XmlNode::child(int index) {
  return const_cast<XmlNode*>(static_cast<const XmlNode*>(this)->child(index));
}

std::wstring_view XmlNode::nameView() const { return storage_->view(nameOffset_, nameLength_); }

std::wstring_view XmlNode::textView() const { return storage_->view(textOffset_, textLength_); }

std::wstring XmlNode::attribute(std::wstring_view name) const {
  for (uint32_t i = 0; i < attrCount_; ++i) {
    const xml_detail::Attribute& a = storage_->attributes[attrFirst_ + i];
    if (storage_->view(a.nameOffset, a.nameLength) == name) {
      return std::wstring(storage_->view(a.valueOffset, a.valueLength));
    }
  }
  return {};
}

bool XmlNode::hasAttribute(std::wstring_view name) const {
  for (uint32_t i = 0; i < attrCount_; ++i) {
    const xml_detail::Attribute& a = storage_->attributes[attrFirst_ + i];
    if (storage_->view(a.nameOffset, a.nameLength) == name) return true;
  }
  return false;
}

std::wstring_view XmlNode::attributeName(int index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= attrCount_) return {};
  const xml_detail::Attribute& a = storage_->attributes[attrFirst_ + static_cast<uint32_t>(index)];
  return storage_->view(a.nameOffset, a.nameLength);
}

std::wstring_view XmlNode::attributeValue(int index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= attrCount_) return {};
  const xml_detail::Attribute& a = storage_->attributes[attrFirst_ + static_cast<uint32_t>(index)];
  return storage_->view(a.valueOffset, a.valueLength);
}

void XmlNode::setAttribute(std::wstring_view name, std::wstring_view value) {
  Storage& s = *storage_;
  if (s.pool.size() + name.size() + value.size() >= std::numeric_limits<uint32_t>::max()) return;
  const uint32_t valueOffset = static_cast<uint32_t>(s.pool.size());
  s.pool.append(value);
  for (uint32_t i = 0; i < attrCount_; ++i) {
    xml_detail::Attribute& a = s.attributes[attrFirst_ + i];
    if (s.view(a.nameOffset, a.nameLength) == name) {
      a.valueOffset = valueOffset;
      a.valueLength = static_cast<uint32_t>(value.size());
      return;
    }
  }
  const uint32_t nameOffset = static_cast<uint32_t>(s.pool.size());
  s.pool.append(name);
  if (attrFirst_ + attrCount_ != s.attributes.size()) {
    // Move this node's attributes to the end so the list can grow in place.
    const uint32_t first = static_cast<uint32_t>(s.attributes.size());
    for (uint32_t i = 0; i < attrCount_; ++i) s.attributes.push_back(s.attributes[attrFirst_ + i]);
    attrFirst_ = first;
  }
  s.attributes.push_back({nameOffset, static_cast<uint32_t>(name.size()), valueOffset,
                          static_cast<uint32_t>(value.size())});
  ++attrCount_;
}

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::load(std::wstring_view text) {
  storage_.reset();
  auto storage = std::make_unique<Storage>();
  xml_detail::Parser parser(text, *storage);
  error_ = parser.run();
  errorOffset_ = error_ == XmlError::kNone ? 0 : parser.errorOffset();
  if (error_ != XmlError::kNone) return false;
  storage_ = std::move(storage);
  return true;
}

const XmlNode* XmlDocument::root() const {
  return storage_ && storage_->nodeCount > 0 ? &storage_->nodes[0] : nullptr;
}

XmlNode* XmlDocument::root() {
  return storage_ && storage_->nodeCount > 0 ? &storage_->nodes[0] : nullptr;
}

}  // namespace utility
