// The language switch of the title bar: a new locale, its string bundle, and every control's
// text set again.
#include <cerrno>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "utility/base/strings.h"
#include "utility/skin/resources.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/log.h"

using toolkit::langString;

namespace {

constexpr int kLanguageAttempts = 3;

struct ControlText {
  const wchar_t* control;
  const char* key;
};

constexpr ControlText kControlTexts[] = {
    {L"progress_install_label", "progress_install_label"},
    {L"progress_finish_label", "progress_finish_label"},
    {L"loadingprogresslabel", "progress_downloading_label"},
    {L"pathErrorLabel", "Label_path_error"},
    {L"LicenseAgreementText", "protocol_accept"},
    {L"protocollinkbtn", "protocol_accept_btn"},
    {L"tastenowbtn", "Button_start_player"},
    {L"confirmprotocolbtn", "sure"},
    {L"installnowbtn", "Button_install_fast"},
    {L"userdefinitionBtn", "Button_install_define"},
    {L"backBtn", "Button_install_back"},
    {L"browsebtn", "browser"},
};

}  // namespace

void CMainFrame::onLanguageComSelected(toolkit::Control& sender) {
  auto* combo = dynamic_cast<toolkit::Combo*>(&sender);
  const toolkit::Combo::Item* item = combo != nullptr ? combo->item(combo->selectedIndex()) : nullptr;
  if (item == nullptr) return;
  DownloaderModel& model = DownloaderModel::instance();
  model.setLocale(item->userData);
  ConfigImp::instance().language = model.getLanguage();
  const std::wstring path = ConfigImp::instance().languageFile();

  for (int attempt = 0; attempt < kLanguageAttempts; ++attempt) {
    common::logPrint("CMainFrame::onLanguageComSelected", __LINE__, L"load language %s", path.c_str());
    std::vector<uint8_t> bytes = utility::SkinArchive::instance().loadFile(path);
    if (bytes.empty()) {
      common::logPrint("CMainFrame::onLanguageComSelected", __LINE__, L"get resource error. %d", ENOENT);
    } else {
      const std::string text(bytes.begin(), bytes.end());
      if (model.loadLanguage(utility::utf8ToWide(text))) break;
    }
    std::this_thread::yield();
  }

  setTitle(langString("Title_wndTitle"));
  setText(L"titlename", langString("titlename"));
  setText(L"protocoledit", loadLicenseText());
  retextControls();
}

void CMainFrame::retextControls() {
  for (const ControlText& entry : kControlTexts) setText(entry.control, langString(entry.key));
  // The error row names why the folder cannot be used, in the new language too.
  retextPathError();
  if (toolkit::Control* home = findControl(L"homepageBtn")) {
    home->setTextColor(0xFFFFFFFF);
    setText(L"homepageBtn", ConfigImp::instance().homePageUrl());
  }
}

std::wstring CMainFrame::loadLicenseText() {
  // UTF-16 text in resource "TXT" 0; this installer ships none.
  const std::span<const uint8_t> bytes = utility::findResource(L"TXT", 0);
  std::wstring text;
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  for (size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
      ++i;
    } else {
      text.push_back(static_cast<wchar_t>(unit));
    }
  }
  return text;
}
