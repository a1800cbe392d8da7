// Screenshots of the real main window and its boxes: CMainFrame driven to every page and the
// boxes opened as the window code opens them, on the headless host with the Cairo painter, over
// a drive table and drive facts of the program's own (nothing of this machine shows).
//
//   ui_screens <out-folder> [locale...]   (default: en_US zh_CN ar_IL ja_JP)
// Writes <shot>_<locale>.png; ends with code 1 when a page or box could not be drawn.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "model/downloader_model.h"
#include "tests/support/temp_folder.h"
#include "toolkit/painting/window_painting.h"
#include "toolkit/headless/headless_host.h"
#include "toolkit/skin_setup.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "ui/msg/message_box.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"

namespace {

using namespace toolkit;

class NoMeasurer : public TextMeasurer {
 public:
  Size measure(std::wstring_view, int, int) const override { return {}; }
};

void settle() {
  for (int i = 0; i < 200 && utility::MainLoop::iterate(); ++i) {
  }
}

struct Shot {
  std::string name;
  // Drives a fresh main window to what the shot shows; true when the shot is a box.
  std::function<bool(CMainFrame&)> prepare;
};

std::vector<Shot> shots() {
  auto page = [](int index) { return [index](CMainFrame& f) { return f.selectTab(index), false; }; };
  return {
      {"choose", page(CMainFrame::kChoosePage)},
      {"custom_path_error",
       [](CMainFrame& f) {
         f.showCustomPath(true);
         f.changePathClac(true, L"D:\\Games|Emu");
         return false;
       }},
      {"licence", page(CMainFrame::kLicencePage)},
      {"download",
       [](CMainFrame& f) {
         f.selectTab(CMainFrame::kProgressPage);
         f.onDownloadProgress(45, 188743680, 419430400);  // 180 of 400 MiB
         return false;
       }},
      {"installing",
       [](CMainFrame& f) {
         f.selectTab(CMainFrame::kProgressPage);
         f.onInstallTick();
         f.onInstallTick();
         return false;
       }},
      {"apps",
       [](CMainFrame& f) {
         f.selectTab(CMainFrame::kApkPage);
         f.showApkProgress(12582912, 41943040);
         return false;
       }},
      {"finish_start",
       [](CMainFrame& f) {
         f.setFinishButtonMode(false);
         f.selectTab(CMainFrame::kFinishPage);
         return false;
       }},
      {"finish_failed",
       [](CMainFrame& f) {
         f.setFinishButtonMode(true);
         f.selectTab(CMainFrame::kFinishPage);
         return false;
       }},
      {"box_error",
       [](CMainFrame& f) {
         showMessageBox(&f, ButtonSpec{langString("confirm"), nullptr, false}, langString("MsgBox_error"),
                        langString("MsgBox_error_path"));
         return true;
       }},
      {"box_ssd",
       [](CMainFrame& f) {
         f.changePathClac(true, L"D:\\Games");  // D: a hard disk while C: is solid-state
         return true;
       }},
      {"box_space",
       [](CMainFrame& f) {
         f.changePathClac(false, L"E:\\Games");  // E: short of 17 GiB
         return true;
       }},
      {"box_change_path", [](CMainFrame& f) { return f.onBrowseClick(), true; }},
      {"box_exit", [](CMainFrame& f) { return showExitBox(&f), true; }},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_screens <out-folder> [locale...]\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::vector<std::wstring> locales;
  for (int i = 2; i < argc; ++i) locales.push_back(utility::utf8ToWide(argv[i]));
  if (locales.empty()) locales = {L"en_US", L"zh_CN", L"ar_IL", L"ja_JP"};
  std::error_code ignored;
  std::filesystem::create_directories(out, ignored);

  // Drives of our own: C: a solid-state disk with the proposed folder, D: a large hard disk,
  // E: a hard disk with less than 17 GiB free.
  testsupport::TempFolder world("ui_screens");
  for (const char* drive : {"c", "d", "e"}) std::filesystem::create_directories(world.path() / drive);
  utility::setDriveTableForTesting({{L'C', (world.path() / "c").string(), {}, {}},
                                    {L'D', (world.path() / "d").string(), {}, {}},
                                    {L'E', (world.path() / "e").string(), {}, {}}});
  helper::disk::setStatedVolumesForTesting({{L'C', {200000, L"NTFS", true}},
                                            {L'D', {900000, L"NTFS", false}},
                                            {L'E', {12000, L"NTFS", false}}});

  utility::TaskDispatcher::create();
  loadSkinArchive(129, L"multi_language.tsv");
  useWindowPainting();
  NoMeasurer none;
  HeadlessDesktop desktop(none);
  const std::vector<uint8_t> table = utility::SkinArchive::instance().loadFile(L"multi_language.tsv");
  int failures = 0;
  for (const std::wstring& locale : locales) {
    setCurrentLanguage(locale);
    loadTextTable(table);
    for (const Shot& shot : shots()) {
      DownloaderModel& model = DownloaderModel::instance();
      model.setInstallPath(L"C:\\Tarnwick\\Tarnwick9\\");
      model.setBestPathForTesting(L"C:\\Tarnwick\\Tarnwick9\\", 1);
      auto* frame = new CMainFrame;  // deletes itself when its window ends
      if (!frame->create(nullptr)) return 1;
      frame->show(ShowCommand::kShow);
      HeadlessWindow* main = desktop.hostOf(*frame);
      const bool box = shot.prepare(*frame);
      settle();
      HeadlessWindow* target = main;
      if (box) {
        target = desktop.windows().back() != main ? desktop.windows().back() : nullptr;
      }
      const std::string file = (out / (shot.name + "_" + utility::wideToUtf8(locale) + ".png")).string();
      if (target == nullptr) {
        std::fprintf(stderr, "no box shown: %s\n", file.c_str());
        ++failures;
      } else {
        target->window().relayout();
        if (!target->screenshot(file)) {
          std::fprintf(stderr, "cannot write %s\n", file.c_str());
          ++failures;
        }
      }
      // Boxes first, then the main window (which shuts the model down and deletes it).
      while (desktop.windows().size() > 1) {
        desktop.windows().back()->window().close();
        settle();
      }
      frame->close();
      settle();
      utility::MainLoop::resetForTesting();
    }
  }
  helper::disk::setStatedVolumesForTesting({});
  utility::setDriveTableForTesting({});
  std::printf("screenshots in %s\n", out.string().c_str());
  return failures > 0 ? 1 : 0;
}
