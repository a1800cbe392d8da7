// The shipped skin as the executable packs it: every layout loads, has the controls the window
// code looks up, names only images the archive holds (with their enlarged variants) at the
// sprite sizes the code's source rectangles need, and every "@key" text exists in every locale.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "toolkit/core/layout_loader.h"
#include "toolkit/core/painter.h"
#include "toolkit/text_table.h"
#include "utility/base/strings.h"
#include "utility/skin/resources.h"
#include "utility/skin/skin_archive.h"

namespace toolkit {
namespace {

std::string utf8(const std::wstring& text) { return utility::wideToUtf8(text); }

class SkinLayoutsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    archive_ = new utility::SkinArchive;
    ASSERT_TRUE(archive_->loadFromMemory(utility::findResource(L"ZIPRES", 129)));
  }
  static void TearDownTestSuite() {
    delete archive_;
    archive_ = nullptr;
  }
  static std::vector<uint8_t> file(const std::wstring& name) { return archive_->loadFile(name); }
  static LoadedLayout load(const std::wstring& name) {
    return loadLayoutFile(name, {}, [](const std::wstring& n) { return file(n); });
  }
  static utility::SkinArchive* archive_;
};

utility::SkinArchive* SkinLayoutsTest::archive_ = nullptr;

// The controls each layout must have, by class, as the window code finds them.
struct Named {
  const wchar_t* name;
  const wchar_t* className;
};
const std::map<std::wstring, std::vector<Named>> kLayouts = {
    {L"mainframe.xml",
     {{L"logoControl", L"Control"}, {L"logoControl9", L"Control"}, {L"titlename", L"Label"},
      {L"languageCombo", L"Combo"}, {L"joinfacebookBtn", L"Button"}, {L"minbtn", L"Button"},
      {L"closebtn", L"Button"}, {L"maintab", L"TabLayout"},
      {L"userdefinitionsui", L"VerticalLayout"}, {L"pathedit", L"Edit"}, {L"browsebtn", L"Button"},
      {L"errorpathnoticeui", L"HorizontalLayout"}, {L"pathErrorLabel", L"Label"},
      {L"protocoleLayout", L"HorizontalLayout"}, {L"acceptprotocolopt", L"Option"},
      {L"LicenseAgreementText", L"Label"}, {L"protocollinkbtn", L"Button"},
      {L"userdefinitionLayout", L"HorizontalLayout"}, {L"userdefinitionBtn", L"Button"},
      {L"backLayout", L"HorizontalLayout"}, {L"backBtn", L"Button"}, {L"installnowbtn", L"Button"},
      {L"protocoledit", L"RichEdit"}, {L"confirmprotocolbtn", L"Button"},
      {L"loadingprogresslabel", L"Label"}, {L"installprogressbar", L"Progress"},
      {L"progress_install_label", L"Label"}, {L"progress_finish_label", L"Label"},
      {L"downloadProgressLabel", L"Label"}, {L"tipInstallLabel", L"Label"},
      {L"homepageBtn", L"Button"}, {L"apkinstallprogresslabel", L"Label"},
      {L"apkfilenamelabel", L"Label"}, {L"apkinstallprogressbar", L"Progress"},
      {L"tastenowbtn", L"Button"}}},
    {L"common/xml_messagebox.xml",
     {{L"titlelabel", L"Label"}, {L"closebtn", L"Button"}, {L"msgiconimage", L"Control"},
      {L"descriptlabel", L"Label"}, {L"bottombar", L"HorizontalLayout"}}},
    {L"common/xml_messagebox_noicon.xml",
     {{L"titlelabel", L"Label"}, {L"closebtn", L"Button"}, {L"msgiconimage", L"Control"},
      {L"descriptlabel", L"Label"}, {L"bottombar", L"HorizontalLayout"}}},
    {L"downloaderbox.xml",
     {{L"titlelabel", L"Label"}, {L"closebtn", L"Button"}, {L"descriptlabel", L"Label"},
      {L"bottombar", L"HorizontalLayout"}, {L"btnLeft", L"Button"}, {L"btnRight", L"Button"},
      {L"bottombar2", L"HorizontalLayout"}, {L"btnSure", L"Button"}}},
};

void collect(Control& control, std::vector<Control*>& out) {
  out.push_back(&control);
  if (Container* box = control.asContainer()) {
    for (int i = 0; i < box->count(); ++i) collect(*box->childAt(i), out);
  }
}

TEST_F(SkinLayoutsTest, EveryLayoutLoadsWithItsNamedControls) {
  for (const auto& [layout, controls] : kLayouts) {
    SCOPED_TRACE(utf8(layout));
    LoadedLayout loaded = load(layout);
    ASSERT_TRUE(loaded.ok()) << utf8(loaded.error->text());
    Container* root = loaded.root->asContainer();
    ASSERT_NE(root, nullptr);
    for (const Named& named : controls) {
      Control* control = root->find(named.name);
      ASSERT_NE(control, nullptr) << utf8(named.name);
      EXPECT_EQ(control->className(), named.className) << utf8(named.name);
    }
  }
}

TEST_F(SkinLayoutsTest, MainWindowFactsPagesAndFirstState) {
  LoadedLayout loaded = load(L"mainframe.xml");
  ASSERT_TRUE(loaded.ok());
  const WindowDescription& window = loaded.window;
  EXPECT_EQ(window.size, (Size{640, 400}));
  EXPECT_EQ(window.minInfo, (Size{600, 400}));
  EXPECT_EQ(window.caption, (Rect{0, 0, 220, 180}));
  std::map<int, std::pair<int, bool>> fonts;
  for (const FontDescription& font : window.fonts) {
    EXPECT_EQ(font.face, L"微软雅黑");
    fonts[font.id] = {font.size, font.bold};
  }
  const std::map<int, std::pair<int, bool>> expected = {
      {0, {12, false}}, {1, {16, false}}, {2, {14, false}}, {3, {18, false}}, {4, {20, false}},
      {10, {16, true}}};
  EXPECT_EQ(fonts, expected);
  Container& root = *loaded.root->asContainer();
  auto* tab = dynamic_cast<TabLayout*>(root.find(L"maintab"));
  ASSERT_NE(tab, nullptr);
  EXPECT_EQ(tab->count(), 8);
  // Each named page control sits on its page.
  const std::vector<std::pair<int, const wchar_t*>> pages = {
      {0, L"installnowbtn"}, {0, L"pathedit"}, {1, L"protocoledit"}, {2, L"installprogressbar"},
      {2, L"homepageBtn"}, {3, L"apkinstallprogressbar"}, {4, L"tastenowbtn"}};
  for (const auto& [index, name] : pages) {
    Container* page = tab->childAt(index)->asContainer();
    ASSERT_NE(page, nullptr);
    EXPECT_NE(page->find(name), nullptr) << index << " " << utf8(name);
  }
  for (int i = 5; i < 8; ++i) EXPECT_EQ(tab->childAt(i)->asContainer()->count(), 0) << i;
  // The first state the window code starts from.
  EXPECT_EQ(tab->selectedIndex(), 0);
  for (const wchar_t* hidden : {L"logoControl9", L"languageCombo", L"userdefinitionsui",
                                L"backLayout", L"progress_finish_label", L"errorpathnoticeui"}) {
    EXPECT_FALSE(root.find(hidden)->visible()) << utf8(hidden);
  }
  EXPECT_FALSE(root.find(L"homepageBtn")->parent()->visible()) << "the home-page row is hidden";
  auto* accept = dynamic_cast<Option*>(root.find(L"acceptprotocolopt"));
  ASSERT_NE(accept, nullptr);
  EXPECT_TRUE(accept->selected());
  EXPECT_TRUE(root.find(L"logoControl")->visible());
  EXPECT_EQ(root.find(L"titlename")->parent()->fixedHeight(), 40) << "the title bar";
}

TEST_F(SkinLayoutsTest, BoxFacts) {
  for (const wchar_t* name : {L"common/xml_messagebox.xml", L"common/xml_messagebox_noicon.xml"}) {
    SCOPED_TRACE(utf8(name));
    LoadedLayout loaded = load(name);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.window.size, (Size{436, 266}));
    Container& root = *loaded.root->asContainer();
    Control* icon = root.find(L"msgiconimage");
    EXPECT_EQ(icon->fixedWidth(), 48);
    EXPECT_EQ(icon->fixedHeight(), 48);
    // The code inserts its buttons before the last of the bar's two spacers.
    auto* bar = root.find(L"bottombar")->asContainer();
    ASSERT_EQ(bar->count(), 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(bar->childAt(i)->className(), L"Control");
  }
  LoadedLayout exit = load(L"downloaderbox.xml");
  ASSERT_TRUE(exit.ok());
  EXPECT_EQ(exit.window.size, (Size{436, 236}));
  EXPECT_FALSE(exit.root->asContainer()->find(L"bottombar2")->visible());
}

// Width and height of a PNG from its header; {0, 0} when the bytes are no PNG.
Size pngSize(const std::vector<uint8_t>& bytes) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size() < 24 || !std::equal(kSignature, kSignature + 8, bytes.begin())) return {};
  auto be32 = [&](size_t at) {
    return static_cast<int>((uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
                            (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]});
  };
  return Size{be32(16), be32(20)};
}

// Every image attribute of the layouts' controls.
std::vector<ImageAttribute> imagesOf(Control& control) {
  std::vector<ImageAttribute> images = {control.bkImage()};
  if (auto* button = dynamic_cast<Button*>(&control)) {
    images.insert(images.end(), {button->normalImage(), button->hotImage(), button->pushedImage(),
                                 button->disabledImage()});
  }
  if (auto* option = dynamic_cast<Option*>(&control)) images.push_back(option->selectedImage());
  if (auto* progress = dynamic_cast<Progress*>(&control)) images.push_back(progress->foreImage());
  return images;
}

TEST_F(SkinLayoutsTest, EveryImageALayoutNamesIsPackedWithItsEnlargedVariant) {
  for (const auto& entry : kLayouts) {
    LoadedLayout loaded = load(entry.first);
    ASSERT_TRUE(loaded.ok());
    std::vector<Control*> controls;
    collect(*loaded.root, controls);
    for (Control* control : controls) {
      for (const ImageAttribute& image : imagesOf(*control)) {
        if (image.empty()) continue;
        SCOPED_TRACE(utf8(entry.first + L" " + control->name() + L" " + image.file));
        const Size size = pngSize(file(image.file));
        ASSERT_GT(size.width, 0) << "missing or not a PNG";
        EXPECT_EQ(pngSize(file(enlargedImageName(image.file))),
                  (Size{size.width * 2, size.height * 2}));
        if (image.source) {
          EXPECT_LE(image.source->right, size.width);
          EXPECT_LE(image.source->bottom, size.height);
        }
      }
    }
  }
}

// The images the window code names (with backslashes where it writes them) and the sizes its
// source rectangles and corners need.
TEST_F(SkinLayoutsTest, ImagesOfTheWindowCodeAtTheirSpriteSizes) {
  const std::vector<std::pair<const wchar_t*, Size>> sprites = {
      {L"common\\btn_bg.png", {60, 28}},          {L"common\\btn_bg_default.png", {60, 28}},
      {L"browse_button.png", {84, 28}},           {L"error_edit_bg.png", {10, 10}},
      {L"button_box_cancel.png", {300, 32}},      {L"button_box_hot.png", {300, 32}},
      {L"common/msg_noice48.png", {48, 48}},      {L"common/msg_ok48.png", {48, 48}},
      {L"commonEnalarge/msg_noice48.png", {96, 96}}, {L"commonEnalarge/msg_ok48.png", {96, 96}},
      {L"commonEnalarge/btn_bg.png", {120, 56}}, {L"commonEnalarge/btn_bg_default.png", {120, 56}}};
  for (const auto& [name, size] : sprites) {
    EXPECT_EQ(pngSize(file(name)), size) << utf8(name);
  }
}

// "@key" texts of a layout file (text and tooltip attributes).
std::set<std::wstring> keysOf(const std::wstring& text) {
  std::set<std::wstring> keys;
  for (const wchar_t* attribute : {L"text=\"@", L"tooltip=\"@"}) {
    const std::wstring marker = attribute;
    for (size_t at = text.find(marker); at != std::wstring::npos; at = text.find(marker, at + 1)) {
      const size_t start = at + marker.size();
      keys.insert(text.substr(start, text.find(L'"', start) - start));
    }
  }
  return keys;
}

TEST_F(SkinLayoutsTest, EveryTextKeyOfTheLayoutsAndTheWindowCodeIsInEveryLocale) {
  std::set<std::wstring> keys = {
      // Texts the window code sets or formats.
      L"Title_wndTitle", L"titlename", L"confirm", L"MsgBox_error", L"MsgBox_accept_protocol",
      L"MsgBox_error_path", L"MsgBox_disk_notEnough", L"Button_install_now",
      L"Button_install_fast", L"MsgBox_xp", L"MsgBox_32", L"sure", L"do_exit", L"jump_download",
      L"MSGBox_noice", L"MsgBox_exit", L"Yes", L"No", L"change_path_tip", L"cancel",
      L"Label_choice_path", L"path_noice", L"path_ssd", L"path_more", L"path_ok", L"path_not",
      L"Label_downloading", L"Label_installing_waiting", L"progress_downloading_label2",
      L"Label_installingapp_waiting", L"download_slowtip", L"download_close",
      L"downloadBybrowser", L"download_error_tip2", L"reDownload", L"protocol_accept_btn"};
  for (const auto& entry : kLayouts) {
    const std::vector<uint8_t> bytes = file(entry.first);
    const std::set<std::wstring> found = keysOf(utility::utf8ToWide(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
    EXPECT_FALSE(found.empty()) << utf8(entry.first);
    keys.insert(found.begin(), found.end());
  }
  const std::vector<uint8_t> table = file(L"multi_language.tsv");
  for (const wchar_t* locale :
       {L"zh_CN", L"zh_TW", L"en_US", L"ko_KR", L"vi_VN", L"th_TH", L"in_ID", L"ja_JP", L"ru_RU",
        L"pt_PT", L"es_ES", L"ar_IL", L"tr_TR", L"fr_FR", L"de_DE", L"it_IT", L"fa_IR", L"ms_MY",
        L"uk_UA"}) {
    TextMap map;
    ASSERT_TRUE(parseTextTable(table, locale, map));
    for (const std::wstring& key : keys) {
      const auto it = map.find(key);
      EXPECT_TRUE(it != map.end() && !it->second.empty()) << utf8(std::wstring(locale) + L" " + key);
    }
  }
}

// ---- Contrast (WCAG 2: at least 4.5:1 for text) ----

double luminance(Color color) {
  auto channel = [](unsigned value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel((color >> 16) & 0xFF) + 0.7152 * channel((color >> 8) & 0xFF) +
         0.0722 * channel(color & 0xFF);
}

double contrast(Color a, Color b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The opaque colour at the centre of |source| in a packed PNG, blended over |under|.
Color faceColour(const std::vector<uint8_t>& png, const Rect& source, Color under) {
  struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t at = 0;
  } reader{&png};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<Reader*>(closure);
        if (r->at + length > r->bytes->size()) return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, r->bytes->data() + r->at, length);
        r->at += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &reader);
  Color out = 0;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(surface);
    const int x = (source.left + source.right) / 2;
    const int y = (source.top + source.bottom) / 2;
    const uint32_t pixel = *reinterpret_cast<const uint32_t*>(
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4);
    // Premultiplied ARGB: add the background for what the pixel leaves uncovered.
    const unsigned alpha =
        cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32 ? pixel >> 24 : 255;
    auto mix = [&](int shift) {
      return ((pixel >> shift) & 0xFF) + ((under >> shift) & 0xFF) * (255 - alpha) / 255;
    };
    out = 0xFF000000u | (mix(16) << 16) | (mix(8) << 8) | mix(0);
  }
  cairo_surface_destroy(surface);
  return out;
}

// The lightest backgrounds text stands on: the page's pale shapes and the boxes' white.
constexpr Color kLightBackgrounds[] = {0xFFEAF3FBu, 0xFFFFFFFFu, 0xFFF5F7FAu};

TEST_F(SkinLayoutsTest, TextOnEveryButtonFaceAndPageMeetsAaContrast) {
  for (const auto& entry : kLayouts) {
    LoadedLayout loaded = load(entry.first);
    ASSERT_TRUE(loaded.ok());
    std::vector<Control*> controls;
    collect(*loaded.root, controls);
    for (Control* control : controls) {
      auto* label = dynamic_cast<Label*>(control);
      if (label == nullptr || control->text().empty() || dynamic_cast<Edit*>(control) != nullptr) continue;
      SCOPED_TRACE(utf8(entry.first + L" " + control->name() + L" " + control->text()));
      auto* button = dynamic_cast<Button*>(control);
      const Color text = control->textColor();
      auto stateText = [&](Color state) { return state != 0 ? state : text; };
      if (button != nullptr && !button->normalImage().empty()) {
        const std::pair<const ImageAttribute*, Color> states[] = {
            {&button->normalImage(), text},
            {&button->hotImage(), stateText(button->hotTextColor())},
            {&button->pushedImage(), stateText(button->pushedTextColor())}};
        for (const auto& [image, colour] : states) {
          if (image->empty()) continue;
          const std::vector<uint8_t> png = file(image->file);
          const Size size = pngSize(png);
          const Rect source = image->source.value_or(Rect{0, 0, size.width, size.height});
          const Color face = faceColour(png, source, 0xFFF5F7FAu);
          EXPECT_GE(contrast(colour, face), 4.5) << utf8(image->file) << std::hex << " face " << face;
        }
      } else if (control->bkColor() != 0) {
        EXPECT_GE(contrast(text, control->bkColor()), 4.5);
        if (button != nullptr) {
          for (Color bk : {button->hotBkColor(), button->pushedBkColor()}) {
            if (bk != 0) {
              EXPECT_GE(contrast(text, bk), 4.5);
            }
          }
        }
      } else {
        for (Color background : kLightBackgrounds) {
          EXPECT_GE(contrast(text, background), 4.5) << std::hex << background;
          if (button != nullptr && button->hotTextColor() != 0) {
            EXPECT_GE(contrast(button->hotTextColor(), background), 4.5);
          }
        }
      }
    }
  }
  // The box buttons the window code builds: text #17171A on the primary faces, #000000 on the
  // secondary ones, in every state.
  for (const auto& [name, text] : {std::pair{L"common/btn_bg.png", 0xFF17171Au},
                                   std::pair{L"common/btn_bg_default.png", 0xFF000000u}}) {
    const std::vector<uint8_t> png = file(name);
    for (int cell = 0; cell < 3; ++cell) {
      const Color face = faceColour(png, Rect{cell * 20, 0, cell * 20 + 20, 28}, 0xFFFFFFFFu);
      EXPECT_GE(contrast(text, face), 4.5) << utf8(name) << " cell " << cell;
    }
  }
}

}  // namespace
}  // namespace toolkit
