#include "utility/skin/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace utility {
namespace {

// Text of the first child of the root (most cases below wrap their subject in <r>...</r>).
std::wstring childText(const std::wstring& document) {
  XmlDocument doc;
  if (!doc.load(document)) return L"<load failed>";
  const XmlNode* child = doc.root()->child(0);
  return child != nullptr ? child->text() : L"<no child>";
}

std::wstring childAttribute(const std::wstring& document, const std::wstring& name) {
  XmlDocument doc;
  if (!doc.load(document)) return L"<load failed>";
  const XmlNode* child = doc.root()->child(0);
  return child != nullptr ? child->attribute(name) : L"<no child>";
}

TEST(XmlDocumentTest, BuildsTreeWithAttributesInOrder) {
  XmlDocument doc;
  ASSERT_TRUE(doc.load(L"<a x='1' y=\"2\">t &amp; u</a>"));
  const XmlNode* root = doc.root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name(), L"a");
  EXPECT_EQ(root->attribute(L"x"), L"1");
  EXPECT_EQ(root->attribute(L"y"), L"2");
  EXPECT_EQ(root->attribute(L"X"), L"");  // names are case-sensitive
  EXPECT_EQ(root->text(), L"");           // the root keeps no text
  EXPECT_EQ(root->childCount(), 0);

  ASSERT_TRUE(doc.load(L"<r><a/><b><c k='v'>x</c></b><d>y</d></r>"));
  root = doc.root();
  ASSERT_EQ(root->childCount(), 3);
  EXPECT_EQ(root->child(0)->name(), L"a");
  EXPECT_EQ(root->child(1)->name(), L"b");
  EXPECT_EQ(root->child(2)->name(), L"d");
  EXPECT_EQ(root->child(2)->text(), L"y");
  const XmlNode* c = root->child(1)->child(0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->name(), L"c");
  EXPECT_EQ(c->text(), L"x");
  EXPECT_EQ(c->attribute(L"k"), L"v");
  EXPECT_EQ(root->child(1)->text(), L"");  // has a child element
  EXPECT_EQ(root->child(-1), nullptr);
  EXPECT_EQ(root->child(3), nullptr);
  EXPECT_EQ(c->child(0), nullptr);
}

TEST(XmlDocumentTest, AttributeForms) {
  struct Case {
    const wchar_t* document;
    const wchar_t* name;
    const wchar_t* value;
  } cases[] = {
      {L"<r><s a=\"it's\"/></r>", L"a", L"it's"},             // other quote inside
      {L"<r><s a='say \"hi\"'/></r>", L"a", L"say \"hi\""},
      {L"<r><s a=plain b='2'/></r>", L"a", L"plain"},         // unquoted up to white space
      {L"<r><s a=plain>t</s></r>", L"a", L"plain"},           // ... or up to ">"
      {L"<r><s a=x/>t</s></r>", L"a", L"x/"},                 // "/" ends the value: not empty
      {L"<r><s a = 'spaced' /></r>", L"a", L"spaced"},
      {L"<r><s a='1' a='2'/></r>", L"a", L"2"},               // the later value wins
      {L"<r><s a='&lt;b&gt; &amp; &quot;q&quot; &apos;'/></r>", L"a", L"<b> & \"q\" '"},
      {L"<r><s a='x>y'/></r>", L"a", L"x>y"},                 // ">" inside quotes
      {L"<r><s a='tab\there'/></r>", L"a", L"tab\there"},     // taken as written
      {L"<r><s flag b='1'/></r>", L"flag", L""},              // bare name
      {L"<r><s/></r>", L"missing", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(childAttribute(c.document, c.name), c.value) << c.document;
  }
  // "a=x/>" made the element non-empty, so its text is there.
  EXPECT_EQ(childText(L"<r><s a=x/>t</s></r>"), L"t");

  XmlDocument doc;
  ASSERT_TRUE(doc.load(L"<r b='2' a='1' b='3'/>"));
  ASSERT_EQ(doc.root()->attributeCount(), 2);
  EXPECT_EQ(doc.root()->attributeName(0), L"b");
  EXPECT_EQ(doc.root()->attributeValue(0), L"3");
  EXPECT_EQ(doc.root()->attributeName(1), L"a");
  EXPECT_EQ(doc.root()->attributeName(2), L"");
}

TEST(XmlDocumentTest, ManyAttributesWithRepeatedNames) {
  std::wstring document = L"<r";
  for (int i = 0; i < 200; ++i) document += L" a" + std::to_wstring(i) + L"='" + std::to_wstring(i) + L"'";
  document += L" a7='last' a150='end'/>";
  XmlDocument doc;
  ASSERT_TRUE(doc.load(document));
  EXPECT_EQ(doc.root()->attributeCount(), 200);
  EXPECT_EQ(doc.root()->attribute(L"a7"), L"last");
  EXPECT_EQ(doc.root()->attribute(L"a150"), L"end");
  EXPECT_EQ(doc.root()->attribute(L"a199"), L"199");
}

TEST(XmlDocumentTest, SetAttributeReplacesOrAppends) {
  XmlDocument doc;
  ASSERT_TRUE(doc.load(L"<r a='1'><s b='2'/><t/></r>"));
  XmlNode* root = doc.root();
  root->setAttribute(L"a", L"one");
  root->setAttribute(L"z", L"last");
  EXPECT_EQ(root->attribute(L"a"), L"one");
  EXPECT_EQ(root->attribute(L"z"), L"last");
  ASSERT_EQ(root->attributeCount(), 2);
  EXPECT_EQ(root->attributeName(1), L"z");
  // The child's attributes are untouched by the root growing its list.
  EXPECT_EQ(root->child(0)->attribute(L"b"), L"2");
  root->child(0)->setAttribute(L"c", L"3");
  root->child(1)->setAttribute(L"d", L"4");
  EXPECT_EQ(root->child(0)->attribute(L"b"), L"2");
  EXPECT_EQ(root->child(0)->attribute(L"c"), L"3");
  EXPECT_EQ(root->child(1)->attribute(L"d"), L"4");
  EXPECT_EQ(root->attribute(L"z"), L"last");
}

TEST(XmlDocumentTest, CharacterReferences) {
  struct Case {
    const wchar_t* content;
    std::wstring text;
  } cases[] = {
      {L"&#65;", L"A"},
      {L"&#x41;", L"A"},
      {L"&#x4e2d;&#25991;", L"\u4e2d\u6587"},
      {L"&foo;", L"&foo;"},
      {L"&AMP;", L"&AMP;"},                       // names are case-sensitive
      {L"a & b", L"a & b"},                       // a lone "&" stays
      {L"&", L"&"},
      {L"&#0;", L"&#0;"},                         // value 0 is no character
      {L"&#;", L"&#;"},
      {L"&#x;", L"&#x;"},
      {L"&#65", L"&#65"},                         // no ";"
      {L"&#00000065;", L"&#00000065;"},           // eight digits: no ";" within seven
      {L"&#0000065;", L"A"},                      // seven digits
      {L"&#6a;", L"&#6a;"},
      {L"&#X41;", L"&#X41;"},                     // only a lower-case "x"
      {L"&#xFFFF;", L"\uFFFF"},
      {L"&#x1F600;", L"\U0001F600"},  // beyond 16 bits, whole (a pair in UTF-16)
      {L"&#x110000;", L"&#x110000;"},             // not a character
      {L"&#xD800;", L"&#xD800;"},                 // a lone surrogate is no character
      {L"&#xDFFF;", L"&#xDFFF;"},
      {L"&#1114111;", L"\U0010FFFF"},  // the last character
      // Cutting to 16 bits would turn these into "<" and "A": they stay what they say.
      {L"&#x1003C;", L"\U0001003C"},
      {L"&#x110041;", L"&#x110041;"},
      {L"&amp;lt;", L"&lt;"},                     // decoded once
      {L"&&lt;", L"&<"},
      {L"&lt", L"&lt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(childText(std::wstring(L"<r><s>") + c.content + L"</s></r>"), c.text) << c.content;
    EXPECT_EQ(childAttribute(std::wstring(L"<r><s v='") + c.content + L"'/></r>", L"v"), c.text)
        << c.content;
  }
  EXPECT_EQ(childText(L"<r><s id=\"k\">&lt;u #666666&gt;text&lt;/u&gt;</s></r>"),
            L"<u #666666>text</u>");
}

TEST(XmlDocumentTest, ElementText) {
  struct Case {
    const wchar_t* document;
    const wchar_t* text;
  } cases[] = {
      {L"<r><s/></r>", L""},
      {L"<r><s></s></r>", L""},
      {L"<r><s>  padded  </s></r>", L"  padded  "},        // no trimming
      {L"<r><s> \r\n\t</s></r>", L" \r\n\t"},             // plain content kept whole
      {L"<r><s>a<!-- c -->b</s></r>", L"ab"},
      {L"<r><s>a <?pi x?> b</s></r>", L"a  b"},
      {L"<r><s>\n  <!-- c -->\n  x\n</s></r>", L"\n  x\n"},  // blank runs dropped with markup
      {L"<r><s>  <![CDATA[ <raw> &amp; ]]>  </s></r>", L" <raw> &amp; "},
      {L"<r><s>a<![CDATA[b]]>c&amp;</s></r>", L"abc&"},
      {L"<r><s><![CDATA[]]></s></r>", L""},
      {L"<r><s><![CDATX[odd]]></s></r>", L"odd"},          // only "<![C" is examined
      {L"<r><s>x<t/>y</s></r>", L""},                       // has a child element
      {L"<r><s>x<!-- c --><t>in</t>y</s></r>", L""},
      {L"<r><s>\u4e2d\u6587 text</s></r>", L"\u4e2d\u6587 text"},
  };
  for (const Case& c : cases) EXPECT_EQ(childText(c.document), c.text) << c.document;

  XmlDocument doc;
  ASSERT_TRUE(doc.load(L"<r><s>x<t>in</t>y</s></r>"));
  EXPECT_EQ(doc.root()->child(0)->child(0)->text(), L"in");
}

TEST(XmlDocumentTest, AcceptsProlog) {
  const wchar_t* documents[] = {
      L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- bundle -->\r\n<r><s>t</s></r>\r\n",
      L"<!DOCTYPE r [ <!ELEMENT r (s)*> <!ATTLIST s id CDATA #IMPLIED> ]><r><s>t</s></r>",
      L"<!ENTITY x 'y'><!NOTATION n SYSTEM 'z'><r><s>t</s></r>",
      L"leading text <r><s>t</s></r> trailing text <!-- c --> <?pi?>",
      L"<r><s>t</s></r><![CDATA[outside]]>",
      L"<r><s>t</s></r  >",
      L"\uFEFF<r><s>t</s></r>",  // a byte-order mark before the root is text outside it
  };
  for (const wchar_t* d : documents) {
    XmlDocument doc;
    ASSERT_TRUE(doc.load(d)) << d;
    EXPECT_EQ(doc.root()->name(), L"r");
    EXPECT_EQ(doc.root()->child(0)->text(), L"t") << d;
  }
}

TEST(XmlDocumentTest, TagNameStart) {
  // Letters, "_", ":", and every character above 0x60 start a name.
  const wchar_t* accepted[] = {L"<A/>", L"<z/>", L"<_x/>", L"<:x/>", L"<{/>", L"<~x/>",
                               L"<\u4e2d/>", L"<a-b.c/>"};
  for (const wchar_t* d : accepted) EXPECT_TRUE(XmlDocument().load(d)) << d;
  const wchar_t* refused[] = {L"<1/>", L"<-a/>", L"< a/>", L"<`a/>", L"<@a/>", L"<=/>"};
  for (const wchar_t* d : refused) {
    XmlDocument doc;
    EXPECT_FALSE(doc.load(d)) << d;
    EXPECT_EQ(doc.error(), XmlError::kBadTagStart) << d;
  }
}

TEST(XmlDocumentTest, RefusesMalformedDocuments) {
  struct Case {
    const wchar_t* document;
    XmlError error;
  } cases[] = {
      {L"", XmlError::kEmpty},
      {L"just text", XmlError::kNoElement},
      {L"<?xml version='1.0'?><!-- only a comment -->", XmlError::kNoElement},
      {L"<r></r><q/>", XmlError::kSecondRoot},
      {L"<r/><q/>", XmlError::kSecondRoot},
      {L"<r><s></r>", XmlError::kMismatchedEndTag},
      {L"<r></R>", XmlError::kMismatchedEndTag},
      {L"<r></ r>", XmlError::kMismatchedEndTag},
      {L"<r></r x>", XmlError::kMismatchedEndTag},
      {L"</r>", XmlError::kUnexpectedEndTag},
      {L"<r/></r>", XmlError::kUnexpectedEndTag},
      {L"<r>", XmlError::kUnclosedElement},
      {L"<r><s>", XmlError::kUnclosedElement},
      {L"<r>text <1 </r>", XmlError::kBadTagStart},
      {L"<r><!x></r>", XmlError::kBadDeclaration},
      {L"<r><!-x--></r>", XmlError::kBadDeclaration},
      {L"<r><![X[a]]></r>", XmlError::kBadDeclaration},
      {L"<r><!doctype></r>", XmlError::kBadDeclaration},
      {L"<r", XmlError::kUnclosed},
      {L"<", XmlError::kUnclosed},
      {L"<r a='1></r>", XmlError::kUnclosed},
      {L"<r a=\"1'></r>", XmlError::kUnclosed},
      {L"<r></r", XmlError::kUnclosed},
      {L"<r><!-- open </r>", XmlError::kUnclosed},
      {L"<r><![CDATA[ open </r>", XmlError::kUnclosed},
      {L"<r><? open </r>", XmlError::kUnclosed},
      {L"<!DOCTYPE r [ <!ELEMENT r ANY> <r/>", XmlError::kUnclosed},
      {L"<r><!", XmlError::kUnclosed},
      {L"<r><!-", XmlError::kUnclosed},
      {L"<r/><!ENTITY x", XmlError::kUnclosed},
  };
  for (const Case& c : cases) {
    XmlDocument doc;
    EXPECT_FALSE(doc.load(c.document)) << c.document;
    EXPECT_EQ(doc.error(), c.error) << c.document;
    EXPECT_EQ(doc.root(), nullptr) << c.document;
  }
}

TEST(XmlDocumentTest, FailedLoadDropsEarlierTree) {
  XmlDocument doc;
  ASSERT_TRUE(doc.load(L"<r/>"));
  EXPECT_FALSE(doc.load(L"<r>"));
  EXPECT_EQ(doc.root(), nullptr);
  ASSERT_TRUE(doc.load(L"<q/>"));
  EXPECT_EQ(doc.error(), XmlError::kNone);
  EXPECT_EQ(doc.root()->name(), L"q");
}

TEST(XmlDocumentTest, MovedDocumentKeepsNodes) {
  XmlDocument doc;
  ASSERT_TRUE(doc.load(L"<r><s id='k'>v</s></r>"));
  XmlDocument moved(std::move(doc));
  ASSERT_NE(moved.root(), nullptr);
  EXPECT_EQ(moved.root()->child(0)->attribute(L"id"), L"k");
  EXPECT_EQ(moved.root()->child(0)->text(), L"v");
}

TEST(XmlDocumentTest, DeepNestingAndLongDocuments) {
  constexpr int kDepth = 1000000;
  std::wstring deep;
  deep.reserve(kDepth * 8);
  for (int i = 0; i < kDepth; ++i) deep += L"<a>";
  deep += L"core";
  for (int i = 0; i < kDepth; ++i) deep += L"</a>";
  XmlDocument doc;
  ASSERT_TRUE(doc.load(deep));
  const XmlNode* node = doc.root();
  int depth = 1;
  while (node->childCount() > 0) {
    node = node->child(0);
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  EXPECT_EQ(node->text(), L"core");

  // Unclosed deep nesting fails cleanly.
  deep.resize(deep.size() - 4);
  EXPECT_FALSE(doc.load(deep));
  EXPECT_EQ(doc.error(), XmlError::kUnclosedElement);

  // Many siblings: every one reachable by index.
  std::wstring wide = L"<r>";
  for (int i = 0; i < 200000; ++i) wide += L"<s id='" + std::to_wstring(i) + L"'>t</s>";
  wide += L"</r>";
  ASSERT_TRUE(doc.load(wide));
  ASSERT_EQ(doc.root()->childCount(), 200000);
  EXPECT_EQ(doc.root()->child(123456)->attribute(L"id"), L"123456");
}

}  // namespace
}  // namespace utility
