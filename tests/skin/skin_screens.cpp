// Screenshots of the shipped skin: the main window's pages and the boxes, drawn from the skin
// archive in this executable through the headless host and the Cairo painter, in a few locales.
// The window code fills some texts and adds the box buttons at run time; the previews set
// texts of the same kind and add buttons with the looks the box code gives them, so a page looks
// as it will with real content.
//
//   skin_screens <out-folder> [--scale <n>] [--skin <folder>] [locale... | all]
//     (default: en_US zh_CN ar_IL ja_JP de_DE ru_RU; "all": the 19 locales of the text table)
// Files in a --skin folder override the packed ones (edit a layout and look again without a
// build). Texts that do not fit their controls are listed on standard error and end it with code 3.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/painting/window_painting.h"
#include "toolkit/core/window_impl_base.h"
#include "toolkit/headless/headless_host.h"
#include "toolkit/skin_setup.h"
#include "toolkit/text_table.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/skin/skin_archive.h"

namespace {

using namespace toolkit;

class PreviewWindow : public WindowImplBase {
 public:
  explicit PreviewWindow(std::wstring layout) : layout_(std::move(layout)) {}
  std::wstring windowClassName() const override { return L"SkinPreview"; }
  std::wstring skinFile() const override { return layout_; }

 private:
  std::wstring layout_;
};

class NoMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view, int, int) const override { return {}; }
};

void setText(WindowImplBase& window, const wchar_t* name, const std::wstring& text) {
  if (Control* control = window.findControl(name)) control->setText(text);
}

void setVisible(WindowImplBase& window, const wchar_t* name, bool visible) {
  if (Control* control = window.findControl(name)) control->setVisible(visible);
}

// A box button with the looks the box code gives its buttons (primary or secondary).
std::unique_ptr<Control> boxButton(const std::wstring& text, bool secondary) {
  auto button = std::make_unique<Button>();
  const std::wstring file = secondary ? L"common\\btn_bg_default.png" : L"common\\btn_bg.png";
  auto image = [&](int cell) {
    return L"file='" + file + L"' source='" + std::to_wstring(cell * 20) + L",0," +
           std::to_wstring(cell * 20 + 20) + L",28' corner='6,6,6,6'";
  };
  button->setAttribute(L"normalimage", image(0));
  button->setAttribute(L"hotimage", image(1));
  button->setAttribute(L"pushedimage", image(2));
  button->setAttribute(L"height", L"30");
  button->setAttribute(L"valign", L"vcenter");
  button->setAttribute(L"align", L"center");
  button->setAttribute(L"textpadding", L"20,0,20,0");
  button->setAttribute(L"padding", L"10,0,10,0");
  button->setAttribute(L"autocalcwidth", L"true");
  button->setAttribute(L"minwidth", L"100");
  button->setAttribute(L"font", L"1");
  button->setTextColor(secondary ? 0xFF000000u : 0xFF17171Au);
  button->setText(text);
  return button;
}

// Texts that do not fit their controls, drawn with the window's fonts: one line wider than the
// control (less its text padding), or broken lines taller than it.
void checkFit(Control& control, const TextMeasurer& measurer, const std::string& where, int& overflows) {
  if (!control.visible()) return;
  // A row of autosized texts can grow past its container even when each text fits itself.
  if (const Container* parent = control.parent(); parent != nullptr && !control.isFloat()) {
    const Rect& r = control.rect();
    const Rect& p = parent->rect();
    if (r.width() > 0 && (r.left < p.left || r.right > p.right || r.top < p.top || r.bottom > p.bottom)) {
      std::fprintf(stderr, "outside its container: %s %s \"%s\"\n", where.c_str(),
                   utility::wideToUtf8(control.name()).c_str(), utility::wideToUtf8(control.text()).c_str());
      ++overflows;
    }
  }
  if (Container* box = control.asContainer()) {
    for (int i = 0; i < box->count(); ++i) checkFit(*box->childAt(i), measurer, where, overflows);
    return;
  }
  auto* label = dynamic_cast<Label*>(&control);
  if (label == nullptr || dynamic_cast<Edit*>(&control) != nullptr || control.text().empty()) return;
  const std::wstring text = label->markup().text;
  const Rect& pad = label->textPadding();
  const int width = control.rect().width() - pad.left - pad.right;
  const int height = control.rect().height() - pad.top - pad.bottom;
  const Size size = measurer.measure(text, control.font(), label->wordBreak() ? width : 0);
  if (size.width > width || size.height > height) {
    std::fprintf(stderr, "does not fit: %s %s \"%s\" (%dx%d in %dx%d)\n", where.c_str(),
                 utility::wideToUtf8(control.name()).c_str(), utility::wideToUtf8(text).c_str(),
                 size.width, size.height, width, height);
    ++overflows;
  }
}

// The name of |locale| in its own language, from the text table's "Language" row.
std::wstring languageName(const std::wstring& locale) {
  const std::vector<uint8_t> bytes = utility::SkinArchive::instance().loadFile(L"multi_language.tsv");
  const std::wstring table =
      utility::utf8ToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  std::vector<std::wstring> rows;
  utility::split(table, L"\r\n", rows);
  if (rows.size() < 2) return locale;
  std::vector<std::wstring> header;
  std::vector<std::wstring> names;
  utility::split(rows[0], L"\t", header);
  utility::split(rows[1], L"\t", names);
  for (size_t i = 0; i < header.size() && i < names.size(); ++i) {
    if (header[i] == locale) return names[i];
  }
  return locale;
}

struct Shot {
  std::string name;
  std::wstring layout;
  std::function<void(WindowImplBase&)> prepare;
  const wchar_t* hover = nullptr;  // a control shown in its hot state
};

std::vector<Shot> shots() {
  auto page = [](int index) {
    return [index](WindowImplBase& w) {
      if (auto* tab = w.findControl<TabLayout>(L"maintab")) tab->selectItem(index);
    };
  };
  auto box = [](const char* title, const char* text, std::vector<std::pair<const char*, bool>> buttons) {
    return [=](WindowImplBase& w) {
      setText(w, L"titlelabel", langString(title));
      setText(w, L"descriptlabel", langString(text));
      auto* bar = w.findControl<Container>(L"bottombar");
      if (bar == nullptr || bar->count() == 0) return;
      // The box code inserts its buttons before the bar's last spacer; the preview hides that
      // spacer and appends the buttons and a new one, which draws the same.
      bar->childAt(bar->count() - 1)->setVisible(false);
      for (const auto& [key, secondary] : buttons) bar->add(boxButton(langString(key), secondary));
      bar->add(std::make_unique<Control>());
    };
  };
  return {
      {"main_choose", L"mainframe.xml", page(0)},
      {"main_choose_hot", L"mainframe.xml", page(0), L"installnowbtn"},
      {"main_choose_custom", L"mainframe.xml",
       [](WindowImplBase& w) {
         setVisible(w, L"userdefinitionsui", true);
         setVisible(w, L"userdefinitionLayout", false);
         setVisible(w, L"backLayout", true);
         setVisible(w, L"errorpathnoticeui", true);
         setText(w, L"pathedit", L"D:\\Games\\Tarnwick\\Tarnwick9\\");
         setText(w, L"installnowbtn", langString("Button_install_now"));
         if (Control* edit = w.findControl(L"pathedit")) {
           edit->setAttribute(L"bkimage", L"file='error_edit_bg.png' source='0,0,10,10' corner='4,4,4,4'");
         }
       }},
      {"main_choose_language", L"mainframe.xml",
       [](WindowImplBase& w) {
         // The combo is hidden and empty in the shipped layout; a layout that offers languages
         // shows it with its items.
         if (auto* combo = w.findControl<Combo>(L"languageCombo")) {
           combo->setVisible(true);
           combo->addItem(languageName(currentLanguage()), currentLanguage());
           combo->selectItem(0);
         }
       }},
      {"main_choose_disabled", L"mainframe.xml",
       [](WindowImplBase& w) {
         if (auto* opt = w.findControl<Option>(L"acceptprotocolopt")) opt->setSelected(false);
         if (Control* b = w.findControl(L"installnowbtn")) b->setEnabled(false);
       }},
      {"main_licence", L"mainframe.xml",
       [page](WindowImplBase& w) {
         page(1)(w);
         setText(w, L"protocoledit", langString("accept_protocol") + L"\n\n" +
                                         langString("MsgBox_accept_protocol"));
       }},
      {"main_progress", L"mainframe.xml",
       [page](WindowImplBase& w) {
         page(2)(w);
         setText(w, L"loadingprogresslabel", langString("Label_downloading") + L"(45%)");
         setText(w, L"downloadProgressLabel", L"135.00M/300.00M");
         if (auto* bar = w.findControl<Progress>(L"installprogressbar")) bar->setValue(28);
       }},
      {"main_installing", L"mainframe.xml",
       [page](WindowImplBase& w) {
         page(2)(w);
         setText(w, L"loadingprogresslabel", langString("Label_installing_waiting"));
         setVisible(w, L"downloadProgressLabel", false);
         if (auto* bar = w.findControl<Progress>(L"installprogressbar")) bar->setValue(82);
       }},
      {"main_apps", L"mainframe.xml",
       [page](WindowImplBase& w) {
         page(3)(w);
         setText(w, L"apkinstallprogresslabel",
                 langString("progress_downloading_label2") +
                     L" Sky Garden (1/2)\uFF1A12M / 300M (<c #268fd6>4%</c>)");
         setText(w, L"apkfilenamelabel", L"sky_garden_2.4.1.apk");
         if (auto* bar = w.findControl<Progress>(L"apkinstallprogressbar")) bar->setValue(4);
       }},
      {"main_finish", L"mainframe.xml", page(4)},
      {"main_finish_hot", L"mainframe.xml", page(4), L"tastenowbtn"},
      {"box_notice", L"common/xml_messagebox.xml",
       box("MSGBox_noice", "download_slowtip", {{"download_close", false}, {"downloadBybrowser", true}})},
      {"box_error", L"common/xml_messagebox.xml",
       box("MsgBox_error", "MsgBox_disk_notEnough", {{"confirm", true}})},
      {"box_noicon", L"common/xml_messagebox_noicon.xml",
       box("path_noice", "path_more", {{"path_ok", true}, {"path_not", false}})},
      {"box_exit", L"downloaderbox.xml", [](WindowImplBase&) {}},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: skin_screens <out-folder> [--scale <n>] [--skin <folder>] [locale... | all]\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  int scale = 1;
  std::wstring skinFolder;
  std::vector<std::wstring> locales;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--scale" && i + 1 < argc) {
      scale = std::atoi(argv[++i]);
    } else if (arg == "--skin" && i + 1 < argc) {
      skinFolder = utility::utf8ToWide(argv[++i]);
      if (skinFolder.back() != L'/') skinFolder += L'/';
    } else {
      locales.push_back(utility::utf8ToWide(arg));
    }
  }
  if (locales.empty()) locales = {L"en_US", L"zh_CN", L"ar_IL", L"ja_JP", L"de_DE", L"ru_RU"};
  if (locales.size() == 1 && locales[0] == L"all") {
    locales = {L"zh_CN", L"zh_TW", L"en_US", L"ko_KR", L"vi_VN", L"th_TH", L"in_ID",
               L"ja_JP", L"ru_RU", L"pt_PT", L"es_ES", L"ar_IL", L"tr_TR", L"fr_FR",
               L"de_DE", L"it_IT", L"fa_IR", L"ms_MY", L"uk_UA"};
  }
  std::error_code ignored;
  std::filesystem::create_directories(out, ignored);

  utility::TaskDispatcher::create();
  loadSkinArchive(129, L"multi_language.tsv");
  if (!skinFolder.empty()) setResourceFolder(skinFolder);
  useWindowPainting();
  NoMeasurer none;
  HeadlessDesktop desktop(none);
  desktop.scaleFactor = scale;
  const std::vector<uint8_t> table = utility::SkinArchive::instance().loadFile(L"multi_language.tsv");
  int failures = 0;
  int overflows = 0;
  for (const std::wstring& locale : locales) {
    setCurrentLanguage(locale);
    loadTextTable(table);
    for (const Shot& shot : shots()) {
      PreviewWindow window(shot.layout);
      if (!window.create(nullptr, L"preview")) return 1;
      shot.prepare(window);
      window.relayout();
      window.show(ShowCommand::kShow);
      if (shot.hover != nullptr) desktop.hostOf(window)->hover(shot.hover);
      const std::string file = (out / (shot.name + "_" + utility::wideToUtf8(locale) +
                                       (scale > 1 ? "@" + std::to_string(scale) + "x" : "") + ".png"))
                                   .string();
      if (window.drawing() != nullptr) {
        checkFit(*window.root(), window.drawing()->measurer(scale), shot.name + " " + utility::wideToUtf8(locale),
                 overflows);
      }
      if (!desktop.hostOf(window)->screenshot(file)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        ++failures;
      }
      window.close();
    }
  }
  std::printf("screenshots in %s\n", out.string().c_str());
  if (overflows > 0) std::fprintf(stderr, "%d texts do not fit\n", overflows);
  return failures > 0 ? 1 : overflows > 0 ? 3 : 0;
}
