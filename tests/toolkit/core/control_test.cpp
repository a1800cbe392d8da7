#include "toolkit/core/control.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/text_table.h"

namespace toolkit {
namespace {

class ControlTest : public testing::Test {
 protected:
  void SetUp() override { resetTextsForTesting(); }
  void TearDown() override { resetTextsForTesting(); }
};

// Notifications as "type:sender".
struct Recorder {
  std::vector<std::wstring> seen;
  NotifyHandler handler() {
    return [this](std::wstring_view type, Control& sender) {
      seen.push_back(std::wstring(type) + L":" + sender.name());
    };
  }
};

TEST_F(ControlTest, BaseAttributesReachTheirState) {
  Control control;
  const std::pair<const wchar_t*, const wchar_t*> attributes[] = {
      {L"name", L"ok"},           {L"width", L"80"},          {L"height", L"24"},
      {L"minwidth", L"10"},       {L"minheight", L"11"},      {L"maxwidth", L"200"},
      {L"maxheight", L"300"},     {L"padding", L"1,2,3,4"},   {L"visible", L"false"},
      {L"enabled", L"false"},     {L"text", L"Hello"},        {L"textcolor", L"#268fd6"},
      {L"font", L"3"},            {L"tooltip", L"tip"},       {L"bkcolor", L"0x80112233"},
      {L"bkimage", L"file='bg.png' corner='2,2,2,2'"},        {L"bordersize", L"1"},
      {L"bordercolor", L"#FF000000"},                         {L"userdata", L"data"}};
  for (const auto& [name, value] : attributes) {
    EXPECT_FALSE(control.setAttribute(name, value)) << std::wstring(name);
  }
  EXPECT_EQ(control.name(), L"ok");
  EXPECT_EQ(control.fixedWidth(), 80);
  EXPECT_EQ(control.fixedHeight(), 24);
  EXPECT_EQ(control.minWidth(), 10);
  EXPECT_EQ(control.minHeight(), 11);
  EXPECT_EQ(control.maxWidth(), 200);
  EXPECT_EQ(control.maxHeight(), 300);
  EXPECT_EQ(control.padding(), (Rect{1, 2, 3, 4}));
  EXPECT_FALSE(control.visible());
  EXPECT_FALSE(control.enabled());
  EXPECT_EQ(control.text(), L"Hello");
  EXPECT_EQ(control.textColor(), 0xFF268FD6u);
  EXPECT_EQ(control.font(), 3);
  EXPECT_EQ(control.toolTip(), L"tip");
  EXPECT_EQ(control.bkColor(), 0x80112233u);
  EXPECT_EQ(control.bkImage().file, L"bg.png");
  EXPECT_EQ(control.bkImage().corner, (Rect{2, 2, 2, 2}));
  EXPECT_EQ(control.borderSize(), 1);
  EXPECT_EQ(control.borderColor(), 0xFF000000u);
  EXPECT_EQ(control.userData(), L"data");
}

TEST_F(ControlTest, FloatWithPosTakesItsSizeFromThePos) {
  Control control;
  ASSERT_FALSE(control.setAttribute(L"float", L"true"));
  ASSERT_FALSE(control.setAttribute(L"pos", L"10,20,110,50"));
  EXPECT_TRUE(control.isFloat());
  EXPECT_EQ(control.floatPos(), (Rect{10, 20, 110, 50}));
  EXPECT_EQ(control.fixedWidth(), 100);
  EXPECT_EQ(control.fixedHeight(), 30);
}

TEST_F(ControlTest, UnknownOrMalformedAttributesAreRefusedAndChangeNothing) {
  struct Case {
    std::unique_ptr<Control> control;
    const wchar_t* name;
    const wchar_t* value;
    const wchar_t* says;
  };
  Case cases[] = {
      {std::make_unique<Control>(), L"colour", L"#FFFFFF", L"unknown attribute \"colour\" of Control"},
      {std::make_unique<Button>(), L"group", L"a", L"unknown attribute \"group\" of Button"},
      {std::make_unique<Label>(), L"inset", L"1,1,1,1", L"unknown attribute \"inset\" of Label"},
      {std::make_unique<Control>(), L"width", L"wide", L"attribute \"width\": not an integer: \"wide\""},
      {std::make_unique<Control>(), L"textcolor", L"#12", L"attribute \"textcolor\": a colour"},
      {std::make_unique<Control>(), L"visible", L"yes", L"attribute \"visible\""},
      {std::make_unique<Control>(), L"padding", L"1,2", L"attribute \"padding\": not a rectangle"},
      {std::make_unique<Button>(), L"normalimage", L"file='a.png' source='1'", L"attribute \"normalimage\": image source"},
      {std::make_unique<Button>(), L"cursor", L"wait", L"attribute \"cursor\""},
      {std::make_unique<Label>(), L"align", L"middle", L"attribute \"align\""},
      {std::make_unique<Edit>(), L"maxchar", L"-1", L"attribute \"maxchar\""},
      {std::make_unique<Progress>(), L"value", L"half", L"attribute \"value\""},
      {std::make_unique<Combo>(), L"dropboxsize", L"10", L"attribute \"dropboxsize\""},
      {std::make_unique<TabLayout>(), L"selectedid", L"-1", L"attribute \"selectedid\""},
      {std::make_unique<VerticalLayout>(), L"childpadding", L"x", L"attribute \"childpadding\""},
  };
  for (Case& c : cases) {
    AttributeError error = c.control->setAttribute(c.name, c.value);
    ASSERT_TRUE(error.has_value()) << std::wstring(c.name);
    EXPECT_NE(error->find(c.says), std::wstring::npos) << std::wstring(*error);
  }
  Control control;
  control.setFixedWidth(5);
  EXPECT_TRUE(control.setAttribute(L"width", L"5x"));
  EXPECT_EQ(control.fixedWidth(), 5);
}

TEST_F(ControlTest, TextAndToolTipAttributesResolveKeysThroughTheTextMap) {
  textMap()[L"install"] = L"Install now";
  textMap()[L"tip"] = L"Starts the installation";
  struct Case {
    const wchar_t* value;
    const wchar_t* shown;
  } cases[] = {{L"@install", L"Install now"},
               {L"@absent", L"@absent"},
               {L"@", L"@"},
               {L"plain", L"plain"},
               {L"x@install", L"x@install"}};
  for (const Case& c : cases) {
    Label label;
    ASSERT_FALSE(label.setAttribute(L"text", c.value));
    EXPECT_EQ(label.text(), c.shown) << std::wstring(c.value);
  }
  Button button;
  ASSERT_FALSE(button.setAttribute(L"tooltip", L"@tip"));
  EXPECT_EQ(button.toolTip(), L"Starts the installation");
  // Text set by code is shown as it is.
  button.setText(L"@install");
  EXPECT_EQ(button.text(), L"@install");
}

TEST_F(ControlTest, ClassAttributes) {
  Button button;
  for (auto [name, value] : {std::pair{L"normalimage", L"n.png"}, {L"hotimage", L"h.png"},
                             {L"pushedimage", L"p.png"}, {L"disabledimage", L"d.png"},
                             {L"hottextcolor", L"#010203"}, {L"cursor", L"hand"},
                             {L"align", L"center"}, {L"valign", L"bottom"},
                             {L"wordbreak", L"true"}, {L"endellipsis", L"true"}}) {
    EXPECT_FALSE(button.setAttribute(name, value)) << std::wstring(name);
  }
  EXPECT_EQ(button.normalImage().file, L"n.png");
  EXPECT_EQ(button.hotImage().file, L"h.png");
  EXPECT_EQ(button.pushedImage().file, L"p.png");
  EXPECT_EQ(button.disabledImage().file, L"d.png");
  EXPECT_EQ(button.hotTextColor(), 0xFF010203u);
  EXPECT_TRUE(button.handCursor());
  EXPECT_EQ(button.align(), HAlign::kCenter);
  EXPECT_EQ(button.valign(), VAlign::kBottom);
  EXPECT_TRUE(button.wordBreak());
  EXPECT_TRUE(button.endEllipsis());

  Edit edit;
  EXPECT_FALSE(edit.setAttribute(L"readonly", L"true"));
  EXPECT_FALSE(edit.setAttribute(L"maxchar", L"260"));
  EXPECT_FALSE(edit.setAttribute(L"password", L"true"));
  EXPECT_TRUE(edit.readOnly());
  EXPECT_EQ(edit.maxChars(), 260);
  EXPECT_TRUE(edit.password());

  RichEdit rich;
  EXPECT_FALSE(rich.setAttribute(L"readonly", L"true"));
  EXPECT_FALSE(rich.setAttribute(L"vscrollbar", L"false"));
  EXPECT_TRUE(rich.readOnly());
  EXPECT_FALSE(rich.vscrollbar());

  EXPECT_TRUE(Text().showHtml());
  EXPECT_FALSE(Label().showHtml());
}

TEST_F(ControlTest, ProgressValueStaysWithin0And100) {
  Progress progress;
  struct Case {
    const wchar_t* text;
    int value;
  } cases[] = {{L"0", 0}, {L"37", 37}, {L"100", 100}, {L"101", 100}, {L"-5", 0}};
  for (const Case& c : cases) {
    ASSERT_FALSE(progress.setAttribute(L"value", c.text));
    EXPECT_EQ(progress.value(), c.value) << std::wstring(c.text);
  }
  progress.setValue(250);
  EXPECT_EQ(progress.value(), 100);
  ASSERT_FALSE(progress.setAttribute(L"foreimage", L"file='bar.png' corner='3,0,3,0'"));
  EXPECT_EQ(progress.foreImage().corner, (Rect{3, 0, 3, 0}));
}

TEST_F(ControlTest, OptionsOfAGroupClearEachOtherAndNotify) {
  Recorder recorder;
  VerticalLayout root;
  root.setNotifyHandler(recorder.handler());
  auto makeOption = [&](const wchar_t* name, const wchar_t* group) -> Option& {
    auto option = std::make_unique<Option>();
    option->setName(name);
    option->setGroup(group);
    return static_cast<Option&>(root.add(std::move(option)));
  };
  Option& a = makeOption(L"a", L"lang");
  auto nested = std::make_unique<HorizontalLayout>();
  auto bOwned = std::make_unique<Option>();
  bOwned->setName(L"b");
  bOwned->setGroup(L"lang");
  Option& b = static_cast<Option&>(nested->add(std::move(bOwned)));
  root.add(std::move(nested));
  Option& other = makeOption(L"other", L"size");
  Option& check = makeOption(L"check", L"");

  other.setSelected(true);
  a.setSelected(true);
  EXPECT_TRUE(a.selected());
  b.setSelected(true);
  EXPECT_FALSE(a.selected());
  EXPECT_TRUE(b.selected());
  EXPECT_TRUE(other.selected());  // another group is left alone
  b.setSelected(true);            // no change, no notification
  check.setSelected(true);
  check.setSelected(false);
  EXPECT_FALSE(check.selected());
  EXPECT_EQ(recorder.seen,
            (std::vector<std::wstring>{L"selectchanged:other", L"selectchanged:a",
                                       L"selectchanged:a", L"selectchanged:b",
                                       L"selectchanged:check", L"selectchanged:check"}));
}

TEST_F(ControlTest, TabSelectionByIndexNotifiesOnChangeOnly) {
  Recorder recorder;
  TabLayout tabs;
  tabs.setName(L"pages");
  tabs.setNotifyHandler(recorder.handler());
  std::vector<std::pair<int, int>> changes;
  tabs.setSelectionHandler([&](int from, int to) { changes.emplace_back(from, to); });
  for (int i = 0; i < 3; ++i) tabs.add(std::make_unique<Control>());

  EXPECT_TRUE(tabs.selectItem(2));
  EXPECT_EQ(tabs.selectedIndex(), 2);
  EXPECT_FALSE(tabs.childAt(0)->visible());
  EXPECT_TRUE(tabs.childAt(2)->visible());
  EXPECT_TRUE(tabs.selectItem(2));
  EXPECT_FALSE(tabs.selectItem(3));
  EXPECT_FALSE(tabs.selectItem(-1));
  EXPECT_EQ(tabs.selectedIndex(), 2);
  EXPECT_TRUE(tabs.selectItem(0));
  EXPECT_EQ(changes, (std::vector<std::pair<int, int>>{{0, 2}, {2, 0}}));
  EXPECT_EQ(recorder.seen, (std::vector<std::wstring>{L"tabselect:pages", L"tabselect:pages"}));
}

TEST_F(ControlTest, SelectedIdBeforeThePagesExistShowsThatPageWhenAdded) {
  TabLayout tabs;
  ASSERT_FALSE(tabs.setAttribute(L"selectedid", L"1"));
  EXPECT_EQ(tabs.selectedIndex(), -1);
  Control& first = tabs.add(std::make_unique<Control>());
  Control& second = tabs.add(std::make_unique<Control>());
  EXPECT_EQ(tabs.selectedIndex(), 1);
  EXPECT_FALSE(first.visible());
  EXPECT_TRUE(second.visible());
}

TEST_F(ControlTest, ComboItemsCarryUserDataAndSelectionNotifies) {
  Recorder recorder;
  VerticalLayout root;
  root.setNotifyHandler(recorder.handler());
  auto owned = std::make_unique<Combo>();
  owned->setName(L"language");
  Combo& combo = static_cast<Combo&>(root.add(std::move(owned)));
  combo.addItem(L"English", L"en_US");
  combo.addItem(L"Deutsch", L"de_DE");
  EXPECT_EQ(combo.selectedIndex(), -1);
  EXPECT_EQ(combo.itemCount(), 2);
  ASSERT_NE(combo.item(1), nullptr);
  EXPECT_EQ(combo.item(1)->userData, L"de_DE");
  EXPECT_EQ(combo.item(2), nullptr);
  EXPECT_EQ(combo.item(-1), nullptr);

  EXPECT_TRUE(combo.selectItem(1));
  EXPECT_EQ(combo.text(), L"Deutsch");
  EXPECT_TRUE(combo.selectItem(1));
  EXPECT_FALSE(combo.selectItem(5));
  EXPECT_EQ(combo.selectedIndex(), 1);
  EXPECT_EQ(recorder.seen, (std::vector<std::wstring>{L"itemselect:language"}));
}

TEST_F(ControlTest, FindLooksThroughTheWholeTree) {
  VerticalLayout root;
  root.setName(L"root");
  auto row = std::make_unique<HorizontalLayout>();
  auto deep = std::make_unique<Button>();
  deep->setName(L"deep");
  Control& deepRef = row->add(std::move(deep));
  root.add(std::move(row));
  EXPECT_EQ(root.find(L"deep"), &deepRef);
  EXPECT_EQ(root.find(L"root"), &root);
  EXPECT_EQ(root.find(L"none"), nullptr);
  EXPECT_EQ(&deepRef.root(), &root);
}

TEST_F(ControlTest, BuiltinClassesByTag) {
  for (const wchar_t* tag : {L"Control", L"Container", L"VerticalLayout", L"HorizontalLayout",
                             L"TabLayout", L"Label", L"Text", L"Button", L"Option", L"Edit",
                             L"RichEdit", L"Progress", L"Combo"}) {
    auto control = createBuiltinControl(tag);
    ASSERT_NE(control, nullptr) << std::wstring(tag);
    EXPECT_EQ(control->className(), tag);
  }
  EXPECT_EQ(createBuiltinControl(L"Selection"), nullptr);
  EXPECT_EQ(createBuiltinControl(L"button"), nullptr);
}

}  // namespace
}  // namespace toolkit
