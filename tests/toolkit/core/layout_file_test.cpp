// Layouts read by file name through the skin (folder over archive) and the Include element.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "toolkit/core/layout_loader.h"
#include "toolkit/text_table.h"
#include "utility/base/strings.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/drive_table.h"

namespace toolkit {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes toBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A 7z archive in memory holding |files|.
Bytes make7z(const std::map<std::string, std::string>& files) {
  archive* a = archive_write_new();
  archive_write_set_format_7zip(a);
  Bytes buffer(1 << 20);
  size_t used = 0;
  archive_write_open_memory(a, buffer.data(), buffer.size(), &used);
  for (const auto& [path, text] : files) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, path.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(text.size()));
    archive_write_header(a, e);
    archive_write_data(a, text.data(), text.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  buffer.resize(used);
  return buffer;
}

void writeHostFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Layout files held in memory, by name.
LayoutFileReader filesOf(const std::map<std::wstring, std::string>& files) {
  return [files](const std::wstring& name) {
    auto it = files.find(name);
    return it == files.end() ? Bytes{} : toBytes(it->second);
  };
}

std::string names(const Control& control) {
  const Container* container = const_cast<Control&>(control).asContainer();
  std::string out = utility::wideToUtf8(control.name());
  if (container == nullptr) return out;
  out += "(";
  for (int i = 0; i < container->count(); ++i) {
    out += (i > 0 ? " " : "") + names(*container->childAt(i));
  }
  return out + ")";
}

class LayoutFileTest : public testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override {
    reset();
    utility::setDriveTableForTesting({});
  }
  static void reset() {
    resetTextsForTesting();
    utility::SkinArchive::instance().resetForTesting();
  }
};

TEST_F(LayoutFileTest, ReadsByNameFromTheArchiveWithTheSkinFolderOverriding) {
  utility::SkinArchive& skin = utility::SkinArchive::instance();
  ASSERT_TRUE(skin.loadFromMemory(make7z({
      {"layouts/main.xml",
       "\xEF\xBB\xBF<Window size=\"300,200\"><VerticalLayout name=\"root\">"
       "<Include source=\"layouts/part.xml\"/><Label name=\"\xe5\xae\x8c\"/></VerticalLayout></Window>"},
      {"layouts/part.xml", "<Include><Label name=\"archived\"/></Include>"},
  })));
  LoadedLayout loaded = loadLayoutFile(L"layouts/main.xml");
  ASSERT_TRUE(loaded.ok()) << utility::wideToUtf8(loaded.error->text());
  EXPECT_EQ(loaded.window.size, (Size{300, 200}));
  EXPECT_EQ(names(*loaded.root), "root(archived \xe5\xae\x8c)");

  // The skin folder beside the executable replaces single files, includes too.
  testsupport::TempFolder drive("tarnwick_layout");
  utility::setDriveTableForTesting({{L'D', drive.path().string(), "ext4", ""}});
  writeHostFile(drive.path() / "skin/layouts/part.xml",
                "<Include><Button name=\"a\"/><Button name=\"b\"/></Include>");
  skin.setSkinFolder(L"D:\\skin");
  ASSERT_EQ(skin.skinFolder(), L"D:\\skin\\");
  loaded = loadLayoutFile(L"layouts\\main.xml");
  ASSERT_TRUE(loaded.ok()) << utility::wideToUtf8(loaded.error->text());
  EXPECT_EQ(names(*loaded.root), "root(a b \xe5\xae\x8c)");

  loaded = loadLayoutFile(L"layouts/none.xml");
  ASSERT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.root, nullptr);
  EXPECT_EQ(loaded.error->text(),
            L"load resource errr. location:layouts/none.xml msg:cannot read the layout");
}

TEST_F(LayoutFileTest, IncludeInsertsTheChildrenOfAnotherLayout) {
  const auto files = filesOf({
      {L"main.xml",
       "<Window size=\"640,400\"><Include source=\"fonts.xml\"/>"
       "<Default name=\"Button\" value=\"font=&quot;1&quot;\"/>"
       "<VerticalLayout name=\"root\"><Label name=\"first\"/>"
       "<Include source=\"row.xml\"/><Label name=\"last\"/>"
       "<Combo name=\"lang\"><Include source=\"items.xml\"/></Combo></VerticalLayout></Window>"},
      {L"fonts.xml", "<Include><Font id=\"1\" name=\"Sans\" size=\"14\"/></Include>"},
      {L"row.xml",
       "<Include><Button name=\"ok\"/><HorizontalLayout name=\"row\">"
       "<Include source=\"empty.xml\"/><Include source=\"buttons.xml\"/></HorizontalLayout></Include>"},
      {L"empty.xml", "<Include/>"},
      {L"buttons.xml", "<Include><Button name=\"x\"/><Button name=\"y\" font=\"2\"/></Include>"},
      {L"items.xml", "<Include><ListLabelElement text=\"English\" userdata=\"en_US\"/></Include>"},
  });
  LoadedLayout loaded = loadLayoutFile(L"main.xml", {}, files);
  ASSERT_TRUE(loaded.ok()) << utility::wideToUtf8(loaded.error->text());
  ASSERT_EQ(loaded.window.fonts.size(), 1u);
  EXPECT_EQ(loaded.window.fonts[0].size, 14);
  EXPECT_EQ(names(*loaded.root), "root(first ok row(x y) last lang)");
  // The including window's defaults reach the included controls.
  EXPECT_EQ(loaded.root->asContainer()->find(L"x")->font(), 1);
  EXPECT_EQ(loaded.root->asContainer()->find(L"y")->font(), 2);
  auto* combo = dynamic_cast<Combo*>(loaded.root->asContainer()->find(L"lang"));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->itemCount(), 1);

  // The same through text given directly, with a "\" in the source.
  const auto more = filesOf({{L"dir/part.xml", "<Include><Label name=\"p\"/></Include>"}});
  loaded = loadLayout(LR"(<Window><Include source="dir\part.xml"/></Window>)", L"inline.xml", {},
                      [&](const std::wstring& name) {
                        return more(name == L"dir\\part.xml" ? L"dir/part.xml" : name);
                      });
  ASSERT_TRUE(loaded.ok()) << utility::wideToUtf8(loaded.error->text());
  EXPECT_EQ(loaded.root->name(), L"p");
}

TEST_F(LayoutFileTest, BrokenIncludesAreLocated) {
  std::map<std::wstring, std::string> chain;
  for (int i = 0; i < 20; ++i) {
    chain[L"c" + std::to_wstring(i) + L".xml"] =
        "<Include><Include source=\"c" + std::to_string(i + 1) + ".xml\"/></Include>";
  }
  std::string wide = "<Include>";
  for (int i = 0; i < kMaxIncludes; ++i) wide += "<Include source=\"leaf.xml\"/>";
  wide += "</Include>";

  struct Case {
    const char* label;
    std::map<std::wstring, std::string> files;
    std::wstring location;
    std::wstring message;
  } cases[] = {
      {"missing include",
       {{L"main.xml", "<Window><VerticalLayout><Label/><Include source=\"gone.xml\"/></VerticalLayout></Window>"}},
       L"main.xml:/Window/VerticalLayout[1]/Include[1]",
       L"cannot read the included layout \"gone.xml\""},
      {"no source",
       {{L"main.xml", "<Window><Include/></Window>"}},
       L"main.xml:/Window/Include[1]", L"an Include needs a source"},
      {"unknown attribute",
       {{L"main.xml", "<Window><Include source=\"a.xml\" count=\"2\"/></Window>"}},
       L"main.xml:/Window/Include[1]", L"unknown attribute \"count\" of Include"},
      {"self include",
       {{L"main.xml", "<Window><Include source=\"main.xml\"/></Window>"}},
       L"main.xml:/Window/Include[1]", L"include cycle: main.xml > main.xml"},
      {"cycle through two files",
       {{L"main.xml", "<Window><VerticalLayout><Include source=\"a.xml\"/></VerticalLayout></Window>"},
        {L"a.xml", "<Include><Include source=\"b.xml\"/></Include>"},
        {L"b.xml", "<Include><Label/><Include source=\"a.xml\"/></Include>"}},
       L"b.xml:/Include/Include[1]",
       L"include cycle: main.xml > a.xml > b.xml > a.xml (included from a.xml:/Include/Include[1])"
       L" (included from main.xml:/Window/VerticalLayout[1]/Include[1])"},
      {"error inside an included layout",
       {{L"main.xml", "<Window><VerticalLayout><Include source=\"part.xml\"/></VerticalLayout></Window>"},
        {L"part.xml", "<Include><Label/><Button width=\"x\"/></Include>"}},
       L"part.xml:/Include/Button[1]",
       L"attribute \"width\": not an integer: \"x\""
       L" (included from main.xml:/Window/VerticalLayout[1]/Include[1])"},
      {"included layout not well-formed",
       {{L"main.xml", "<Window><Include source=\"part.xml\"/></Window>"},
        {L"part.xml", "<Include>\n<Label>\n</Include>"}},
       L"part.xml:3",
       L"end tag does not match the open element (included from main.xml:/Window/Include[1])"},
      {"second root through an include",
       {{L"main.xml", "<Window><Label/><Include source=\"part.xml\"/></Window>"},
        {L"part.xml", "<Include><Label/></Include>"}},
       L"part.xml:/Include/Label[1]",
       L"a window has one root control; \"Label\" is a second one"
       L" (included from main.xml:/Window/Include[1])"},
      {"include in a control that holds none",
       {{L"main.xml", "<Window><Label><Include source=\"part.xml\"/></Label></Window>"},
        {L"part.xml", "<Include><Label/></Include>"}},
       L"part.xml:/Include/Label[1]",
       L"\"Label\" cannot hold \"Label\" (included from main.xml:/Window/Label[1]/Include[1])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    LoadedLayout loaded = loadLayoutFile(L"main.xml", {}, filesOf(c.files));
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.root, nullptr);
    EXPECT_EQ(utility::wideToUtf8(loaded.error->location), utility::wideToUtf8(c.location));
    EXPECT_EQ(utility::wideToUtf8(loaded.error->message), utility::wideToUtf8(c.message));
  }

  // Nesting and fan-out limits end at the include that goes past them.
  chain[L"main.xml"] = "<Window><Include source=\"c0.xml\"/></Window>";
  LoadedLayout deep = loadLayoutFile(L"main.xml", {}, filesOf(chain));
  ASSERT_FALSE(deep.ok());
  EXPECT_EQ(deep.error->location, L"c15.xml:/Include/Include[1]");
  EXPECT_TRUE(deep.error->message.starts_with(L"includes nested deeper than 16 (included from c14.xml"))
      << utility::wideToUtf8(deep.error->message);

  const auto fanOut = filesOf({{L"main.xml", "<Window><VerticalLayout><Include source=\"wide.xml\"/>"
                                             "</VerticalLayout></Window>"},
                               {L"wide.xml", wide},
                               {L"leaf.xml", "<Include><Label/></Include>"}});
  LoadedLayout many = loadLayoutFile(L"main.xml", {}, fanOut);
  ASSERT_FALSE(many.ok());
  EXPECT_EQ(many.error->location, L"wide.xml:/Include/Include[256]");
  EXPECT_TRUE(many.error->message.starts_with(L"more than 256 includes"));
}

}  // namespace
}  // namespace toolkit
