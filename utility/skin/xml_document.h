// A small non-validating XML reader for the installer's own documents (string bundles, layouts).
// It takes a whole document as wide text, checks that it is well formed and builds an element
// tree with attribute values and element text decoded. There is no namespace, DTD or encoding
// handling and nothing is ever written back.
//
// Nodes live in one block owned by the document: a node pointer stays valid until the document
// is loaded again or destroyed. Parsing is a single iterative pass (no recursion), so neither
// deep nesting nor a large document can exhaust the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace utility {

namespace xml_detail {
struct Storage;
class Parser;
}  // namespace xml_detail

// Why a document was refused; kNone after a successful load.
enum class XmlError : int {
  kNone = 0,
  kEmpty = 1,              // the text is empty
  kNoElement = 2,          // no element at all
  kSecondRoot = 3,         // the first top-level element has a sibling element
  kBadTagStart = 4,        // "<" followed by something that starts no tag
  kBadDeclaration = 5,     // "<!", "<!-" or "<![" followed by something unknown
  kUnclosed = 6,           // tag, comment, CDATA, instruction or declaration not closed
  kUnexpectedEndTag = 7,   // end tag without an open element
  kMismatchedEndTag = 8,   // end tag that does not match the innermost open element
  kUnclosedElement = 9,    // element still open at the end of the text
  kTooLarge = 10,          // more text than the reader can index
};

class XmlNode {
 public:
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;

  int childCount() const { return static_cast<int>(childCount_); }
  // Null when |index| is negative or not below childCount().
  const XmlNode* child(int index) const;
  XmlNode* child(int index);

  std::wstring name() const { return std::wstring(nameView()); }
  // The element's character data; empty for the root, for an empty element and for an element
  // with child elements.
  std::wstring text() const { return std::wstring(textView()); }
  std::wstring_view nameView() const;
  std::wstring_view textView() const;

  // The value of the attribute |name| (exact, case-sensitive), or an empty string.
  std::wstring attribute(std::wstring_view name) const;
  bool hasAttribute(std::wstring_view name) const;
  int attributeCount() const { return static_cast<int>(attrCount_); }
  // Attributes in their order of appearance; empty views when |index| is out of range.
  std::wstring_view attributeName(int index) const;
  std::wstring_view attributeValue(int index) const;
  // Replaces the value of an existing attribute of that name, else appends the pair.
  void setAttribute(std::wstring_view name, std::wstring_view value);

 private:
  friend struct xml_detail::Storage;
  friend class xml_detail::Parser;
  XmlNode() = default;

  xml_detail::Storage* storage_ = nullptr;
  uint32_t nameOffset_ = 0;
  uint32_t nameLength_ = 0;
  uint32_t textOffset_ = 0;
  uint32_t textLength_ = 0;
  uint32_t attrFirst_ = 0;
  uint32_t attrCount_ = 0;
  uint32_t childFirst_ = 0;  // into the storage's child index list
  uint32_t childCount_ = 0;
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parses |text|. When it is well formed, builds the tree and returns true; otherwise returns
  // false and holds no tree (error() and errorOffset() tell why and where).
  bool load(std::wstring_view text);

  // The root element, or null before a successful load.
  const XmlNode* root() const;
  XmlNode* root();

  XmlError error() const { return error_; }
  // Position in the text where the failure was found.
  size_t errorOffset() const { return errorOffset_; }

 private:
  std::unique_ptr<xml_detail::Storage> storage_;
  XmlError error_ = XmlError::kNone;
  size_t errorOffset_ = 0;
};

}  // namespace utility
