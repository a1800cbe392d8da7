#include "toolkit/core/layout_loader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "toolkit/text_table.h"

namespace toolkit {
namespace {

class LayoutLoaderTest : public testing::Test {
 protected:
  void SetUp() override { resetTextsForTesting(); }
  void TearDown() override { resetTextsForTesting(); }
};

TEST_F(LayoutLoaderTest, BuildsTheWindowFontsDefaultsAndTree) {
  textMap()[L"title"] = L"Welcome";
  textMap()[L"lang_en"] = L"English";
  const wchar_t* layout =
      LR"(<?xml version="1.0" encoding="utf-8"?>
<Window size="640,400" mininfo="320,200" maxinfo="800,600" caption="0,0,0,32" sizebox="4,4,4,4"
        roundcorner="5,5">
  <Font id="0" name="Sans" size="12" default="true"/>
  <Font id="1" name="Sans" size="16" bold="true" underline="true" italic="true"/>
  <Default name="Button" value="textcolor=&quot;#FF112233&quot; font='1' cursor=&quot;hand&quot;"/>
  <VerticalLayout name="root" inset="1,2,3,4" childpadding="5" bkcolor="#FFFFFFFF">
    <Label name="title" text="@title" height="32"/>
    <Button name="go" text="Go" textcolor="#FF445566"/>
    <Button name="plain"/>
    <TabLayout name="pages" selectedid="1">
      <Container/>
      <Container name="second"/>
    </TabLayout>
    <Combo name="lang">
      <ListLabelElement text="@lang_en" userdata="en_US"/>
      <ListLabelElement text="Deutsch" userdata="de_DE" selected="true"/>
    </Combo>
    <Option name="agree" group="g" selected="true"/>
  </VerticalLayout>
</Window>)";
  LoadedLayout loaded = loadLayout(layout, L"main.xml");
  ASSERT_TRUE(loaded.ok()) << std::wstring(loaded.error->text());
  const WindowDescription& window = loaded.window;
  EXPECT_EQ(window.size, (Size{640, 400}));
  EXPECT_EQ(window.minInfo, (Size{320, 200}));
  EXPECT_EQ(window.maxInfo, (Size{800, 600}));
  EXPECT_EQ(window.caption, (Rect{0, 0, 0, 32}));
  EXPECT_EQ(window.sizeBox, (Rect{4, 4, 4, 4}));
  EXPECT_EQ(window.roundCorner, (Size{5, 5}));
  ASSERT_EQ(window.fonts.size(), 2u);
  EXPECT_EQ(window.fonts[0], (FontDescription{0, L"Sans", 12, false, false, false, true}));
  EXPECT_EQ(window.fonts[1], (FontDescription{1, L"Sans", 16, true, true, true, false}));

  ASSERT_NE(loaded.root, nullptr);
  auto* root = loaded.root->asContainer();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name(), L"root");
  EXPECT_EQ(root->inset(), (Rect{1, 2, 3, 4}));
  EXPECT_EQ(root->childPadding(), 5);
  EXPECT_EQ(root->find(L"title")->text(), L"Welcome");

  auto* go = dynamic_cast<Button*>(root->find(L"go"));
  ASSERT_NE(go, nullptr);
  EXPECT_EQ(go->textColor(), 0xFF445566u);  // its own attribute wins over the Default
  EXPECT_EQ(go->font(), 1);
  EXPECT_TRUE(go->handCursor());
  EXPECT_EQ(root->find(L"plain")->textColor(), 0xFF112233u);
  EXPECT_EQ(root->find(L"title")->font(), -1);  // a Label is not a Button

  auto* pages = dynamic_cast<TabLayout*>(root->find(L"pages"));
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->selectedIndex(), 1);
  EXPECT_TRUE(root->find(L"second")->visible());
  EXPECT_FALSE(pages->childAt(0)->visible());

  auto* combo = dynamic_cast<Combo*>(root->find(L"lang"));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->itemCount(), 2);
  EXPECT_EQ(combo->item(0)->text, L"English");
  EXPECT_EQ(combo->item(0)->userData, L"en_US");
  EXPECT_EQ(combo->selectedIndex(), 1);
  EXPECT_EQ(combo->text(), L"Deutsch");

  auto* agree = dynamic_cast<Option*>(root->find(L"agree"));
  ASSERT_NE(agree, nullptr);
  EXPECT_TRUE(agree->selected());
}

// A window's own control class, created by its builder.
class Selection : public Button {
 public:
  std::wstring_view className() const override { return L"Selection"; }
  AttributeError setAttribute(std::wstring_view name, std::wstring_view value) override {
    if (name == L"mark") {
      mark = std::wstring(value);
      return std::nullopt;
    }
    return Button::setAttribute(name, value);
  }
  std::wstring mark;
};

TEST_F(LayoutLoaderTest, TheBuilderCreatesTheWindowsOwnClassesWithDefaults) {
  std::vector<std::wstring> asked;
  ControlBuilder builder = [&](std::wstring_view tag) -> std::unique_ptr<Control> {
    asked.emplace_back(tag);
    if (tag == L"Selection") return std::make_unique<Selection>();
    return nullptr;
  };
  LoadedLayout loaded = loadLayout(
      LR"(<Window><Default name="Selection" value="mark='x'"/>
<HorizontalLayout><Button name="b"/><Selection name="s" text="Pick"/></HorizontalLayout></Window>)",
      L"box.xml", builder);
  ASSERT_TRUE(loaded.ok()) << std::wstring(loaded.error->text());
  auto* selection = dynamic_cast<Selection*>(loaded.root->asContainer()->find(L"s"));
  ASSERT_NE(selection, nullptr);
  EXPECT_EQ(selection->text(), L"Pick");
  EXPECT_EQ(selection->mark, L"x");
  // Only tags the toolkit does not know reach the builder.
  EXPECT_EQ(asked, std::vector<std::wstring>{L"Selection"});

  LoadedLayout unknown = loadLayout(L"<Window><Other/></Window>", L"box.xml", builder);
  ASSERT_FALSE(unknown.ok());
  EXPECT_EQ(unknown.error->text(),
            L"load resource errr. location:box.xml:/Window/Other[1] msg:unknown element \"Other\"");
}

TEST_F(LayoutLoaderTest, BrokenLayoutsGiveTheirLocationAndMessage) {
  struct Case {
    const wchar_t* layout;
    const wchar_t* location;
    const wchar_t* message;
  } cases[] = {
      {L"<Window>\n<VerticalLayout>\n</Window>", L"main.xml:3",
       L"end tag does not match the open element"},
      {L"<Window>\n\n<Label text=\"a></Window>", L"main.xml:3",
       L"unclosed tag, comment or section"},
      {L"", L"main.xml:1", L"the layout is empty"},
      {L"<Dialog><Label/></Dialog>", L"main.xml:/Dialog",
       L"the top element is \"Dialog\", not \"Window\""},
      {L"<Window size=\"640\"><Label/></Window>", L"main.xml:/Window",
       L"attribute \"size\": not a size \"w,h\": \"640\""},
      {L"<Window size=\"-1,400\"><Label/></Window>", L"main.xml:/Window",
       L"attribute \"size\": out of range 0..100000: \"-1,400\""},
      {L"<Window mininfo=\"100001,1\"><Label/></Window>", L"main.xml:/Window",
       L"attribute \"mininfo\": out of range 0..100000: \"100001,1\""},
      {L"<Window shadow=\"true\"><Label/></Window>", L"main.xml:/Window",
       L"unknown attribute \"shadow\" of Window"},
      {L"<Window></Window>", L"main.xml:/Window", L"the window has no control"},
      {L"<Window><Label/><Label/></Window>", L"main.xml:/Window/Label[2]",
       L"a window has one root control; \"Label\" is a second one"},
      {L"<Window><VerticalLayout><Label/><HorizontalLayout><Button/>"
       L"<Button width=\"x\"/></HorizontalLayout></VerticalLayout></Window>",
       L"main.xml:/Window/VerticalLayout[1]/HorizontalLayout[1]/Button[2]",
       L"attribute \"width\": not an integer: \"x\""},
      {L"<Window><VerticalLayout><Label/><Lable/></VerticalLayout></Window>",
       L"main.xml:/Window/VerticalLayout[1]/Lable[1]", L"unknown element \"Lable\""},
      {L"<Window><VerticalLayout><Label colour=\"#FFFFFF\"/></VerticalLayout></Window>",
       L"main.xml:/Window/VerticalLayout[1]/Label[1]", L"unknown attribute \"colour\" of Label"},
      {L"<Window><Button><Label/></Button></Window>", L"main.xml:/Window/Button[1]/Label[1]",
       L"\"Button\" cannot hold \"Label\""},
      {L"<Window><Combo><Label/></Combo></Window>", L"main.xml:/Window/Combo[1]/Label[1]",
       L"a Combo holds ListLabelElement items, not \"Label\""},
      {L"<Window><Combo><ListLabelElement data=\"x\"/></Combo></Window>",
       L"main.xml:/Window/Combo[1]/ListLabelElement[1]",
       L"unknown attribute \"data\" of ListLabelElement"},
      {L"<Window><Font name=\"Sans\"/><Label/></Window>", L"main.xml:/Window/Font[1]",
       L"a Font needs an id"},
      {L"<Window><Font id=\"1\" name=\"Sans\"/><Font id=\"1\" name=\"Serif\"/><Label/></Window>",
       L"main.xml:/Window/Font[2]", L"font id 1 defined twice"},
      {L"<Window><Font id=\"1\" name=\"A\" default=\"true\"/>"
       L"<Font id=\"2\" name=\"B\" default=\"true\"/><Label/></Window>",
       L"main.xml:/Window/Font[2]", L"a second default font"},
      {L"<Window><Font id=\"1\" name=\"A\" size=\"0\"/><Label/></Window>",
       L"main.xml:/Window/Font[1]", L"attribute \"size\": must be above 0"},
      {L"<Window><Default name=\"Label\" value=\"font=1\"/><Label/></Window>",
       L"main.xml:/Window/Default[1]", L"attribute \"value\": the value of \"font\" is not quoted"},
      {L"<Window><Default name=\"Label\" value=\"font='x'\"/><Label/></Window>",
       L"main.xml:/Window/Label[1]",
       L"Default of \"Label\": attribute \"font\": not an integer: \"x\""},
      {L"<Window><Default value=\"font='1'\"/><Label/></Window>", L"main.xml:/Window/Default[1]",
       L"a Default needs a name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.layout));
    LoadedLayout loaded = loadLayout(c.layout, L"main.xml");
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.root, nullptr);
    EXPECT_EQ(loaded.error->location, c.location);
    EXPECT_EQ(loaded.error->message, c.message);
    EXPECT_EQ(loaded.error->text(), std::wstring(L"load resource errr. location:") + c.location +
                                        L" msg:" + c.message);
  }
}

TEST_F(LayoutLoaderTest, NestingBeyondTheLimitIsRefusedNotFollowed) {
  std::wstring deep = L"<Window>";
  const int levels = kMaxLayoutDepth + 1;
  for (int i = 0; i < levels; ++i) deep += L"<Container>";
  for (int i = 0; i < levels; ++i) deep += L"</Container>";
  deep += L"</Window>";
  LoadedLayout loaded = loadLayout(deep, L"deep.xml");
  ASSERT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.error->message, L"controls nested deeper than 128");

  std::wstring fits = L"<Window>";
  for (int i = 0; i < kMaxLayoutDepth; ++i) fits += L"<Container>";
  for (int i = 0; i < kMaxLayoutDepth; ++i) fits += L"</Container>";
  fits += L"</Window>";
  EXPECT_TRUE(loadLayout(fits, L"deep.xml").ok());
}

TEST_F(LayoutLoaderTest, AttributeLists) {
  auto list = parseAttributeList(L" a=\"1\"  b='two words'\tc=\"\" ");
  ASSERT_TRUE(list.ok()) << list.error();
  EXPECT_EQ(list.value(), (AttributeList{{L"a", L"1"}, {L"b", L"two words"}, {L"c", L""}}));
  EXPECT_TRUE(parseAttributeList(L"").value().empty());
  for (const wchar_t* text : {L"a", L"a=", L"=\"1\"", L"a=1", L"a=\"1", L"a=\"1\"b=\"2\""}) {
    EXPECT_FALSE(parseAttributeList(text).ok()) << std::wstring(text);
  }
}

}  // namespace
}  // namespace toolkit
