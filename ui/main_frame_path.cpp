// The installation folder on the choose page: completing a typed or chosen folder into an
// installation path, the solid-state and free-space notices, the error display and the folder
// browser.
#include <optional>
#include <string>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "toolkit/core/window_host.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "ui/msg/message_box.h"
#include "utility/base/strings.h"
#include "utility/base/wformat.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"

using namespace toolkit;

namespace {

// Less free space than this (17 GiB) on the chosen drive brings the space notice.
constexpr double kRecommendedFreeMiB = 17408.0;
constexpr size_t kNoticeChars = 256;

// The notice text |key| with its "%s" places filled by the drive letters |first| and |second|.
std::wstring driveNotice(const char* key, const std::wstring& first, const std::wstring& second = {}) {
  wchar_t text[kNoticeChars];
  utility::formatTo(text, kNoticeChars, langString(key).c_str(), first.substr(0, 1).c_str(),
                    second.substr(0, 1).c_str());
  return text;
}

// A drive root ("D:\") or the root of the current drive ("\"), as the shell's root test says.
bool isRootPath(const std::wstring& path) {
  if (path == L"\\") return true;
  if (path.size() != 3 || path[1] != L':' || path[2] != L'\\') return false;
  const wchar_t letter = path[0];
  return (letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z');
}

// Whether |word| is absent from |path| or starts it: a folder that names it later keeps it.
bool notNamedAfterStart(const std::wstring& path, const wchar_t* word) {
  const size_t at = path.find(word);
  return at == std::wstring::npos || at == 0;
}

// The error row's text for a folder that cannot be used.
const char* problemTextKey(helper::disk::InstallPathProblem problem) {
  using helper::disk::InstallPathProblem;
  switch (problem) {
    case InstallPathProblem::noFreeSpace:
      return "MsgBox_disk_notEnough";
    case InstallPathProblem::invalidCharacters:
    case InstallPathProblem::blankFolderName:
      return "MsgBox_error_path";
    case InstallPathProblem::notOnADrive:
      return "path_error_no_drive";
    case InstallPathProblem::notAFolder:
      return "path_error_not_folder";
    case InstallPathProblem::notWritable:
      return "path_error_not_writable";
    case InstallPathProblem::tooLong:
      return "path_error_too_long";
    default:
      return "Label_path_error";
  }
}

}  // namespace

helper::disk::InstallPathProblem CMainFrame::retextPathError() {
  const helper::disk::InstallPathProblem problem =
      helper::disk::installPathProblem(DownloaderModel::instance().getInstallPath());
  if (problem != helper::disk::InstallPathProblem::none) setText(L"pathErrorLabel", langString(problemTextKey(problem)));
  return problem;
}

void CMainFrame::refreshInstallPage() {
  setText(L"pathedit", DownloaderModel::instance().getInstallPath());
  // One look at the file system for both the row's text and the page's state.
  const bool valid = retextPathError() == helper::disk::InstallPathProblem::none;
  setVisible(L"errorpathnoticeui", !valid);
  auto* accept = findControl<Option>(L"acceptprotocolopt");
  setEnabled(L"installnowbtn", valid && accept != nullptr && accept->selected());
  showCustomPath(!isVisible(L"userdefinitionBtn"));
  if (Control* edit = findControl(L"pathedit")) {
    if (!valid) {
      constexpr const wchar_t* kError = L"file='error_edit_bg.png' source='0,0,10,10' corner='4,4,4,4'";
      edit->setAttribute(L"normalimage", kError);
      edit->setAttribute(L"hotimage", kError);
      edit->setAttribute(L"focusedimage", kError);
    } else {
      edit->setAttribute(L"normalimage", L"file='browse_button.png' source='0,0,28,28' corner='4,4,4,4'");
      edit->setAttribute(L"hotimage", L"file='browse_button.png' source='28,0,56,28' corner='4,4,4,4'");
      edit->setAttribute(L"focusedimage", L"file='browse_button.png' source='56,0,84,28' corner='4,4,4,4'");
    }
  }
  repaint();
}

void CMainFrame::onBrowseClick() {
  if (DownloaderModel::instance().getInstallPath().empty()) return openFolderDialog();
  showMessageBox2(this, ButtonSpec{langString("sure"), [this] { openFolderDialog(); }, false},
                  ButtonSpec{langString("cancel"), nullptr, true}, std::wstring(), langString("MSGBox_noice"),
                  langString("change_path_tip"));
}

void CMainFrame::openFolderDialog() {
  WindowHostFactory* factory = windowHostFactory();
  if (factory == nullptr) return;
  // The browser opens at drive C:.
  const std::optional<std::string> chosen =
      factory->chooseFolder(host(), langString("Label_choice_path"), utility::toHostPath(L"C:\\").string());
  if (!chosen) return;
  // A folder outside every drive stays a host path: not a valid installation path.
  changePathClac(true, utility::fromHostPath(utility::HostPath::fromString(*chosen)));
}

void CMainFrame::changePathClac(bool checkSsd, const std::wstring& typedPath) {
  // A copy: the text may be the edit's own, which setInstallPath rewrites.
  const std::wstring newPath = typedPath;
  DownloaderModel& model = DownloaderModel::instance();
  if (model.getInstallPath() == newPath) return;
  const std::wstring oldPath = model.getInstallPath();
  setInstallPath(slashToBackslash(newPath));
  // A folder that cannot be used has the error row (with its reason) and nothing more: the
  // drive notices would speak of a drive it may not even have.
  const helper::disk::InstallPathProblem problem = helper::disk::installPathProblem(model.getInstallPath());
  if (problem != helper::disk::InstallPathProblem::none) {
    common::logPrint("CMainFrame::changePathClac", __LINE__, L"path cannot be used (%s): %s",
                     helper::disk::installPathProblemName(problem), model.getInstallPath().c_str());
    return;
  }

  const std::wstring best = model.getBestPath();
  const bool ssdFlag = model.getBestPathFlag() != 0;
  if (best.size() > 2 && newPath.substr(0, 2) == best.substr(0, 2)) {
    common::logPrint("CMainFrame::changePathClac", __LINE__, L"same best path");
    return;
  }
  if (checkSsd && ssdFlag && !helper::disk::isSsd(newPath.substr(0, 2)) && !best.empty()) {
    auto keepChosen = [this, newPath] { changePathClac(false, newPath); };
    showMessageBoxEx(this, ButtonSpec{langString("path_ok"), [this, best] { setInstallPath(best); }, true},
                     ButtonSpec{langString("path_not"), keepChosen, false}, std::wstring(),
                     langString("path_noice"), driveNotice("path_ssd", newPath, best), keepChosen);
    return;
  }
  if (helper::disk::usableFreeSpaceMiB(newPath) < kRecommendedFreeMiB) {
    common::logPrint("CMainFrame::changePathClac", __LINE__, L"left 17G");
    const std::wstring target = best.empty() ? oldPath : best;
    showMessageBoxEx(this, ButtonSpec{langString("path_ok"), [this, target] { setInstallPath(target); }, true},
                     ButtonSpec{langString("path_not"), nullptr, false}, std::wstring(),
                     langString("path_noice"), driveNotice("path_more", target), nullptr);
  }
}

void CMainFrame::setInstallPath(const std::wstring& path) {
  DownloaderModel& model = DownloaderModel::instance();
  if (path == model.getInstallPath()) return;
  const std::wstring completed = completeInstallPath(path);
  model.setInstallPath(completed);
  setText(L"pathedit", completed);
  refreshInstallPage();
}

std::wstring CMainFrame::completeInstallPath(const std::wstring& path) {
  std::wstring completed = path;
  if (completed.empty() || completed.back() != L'\\') completed += L'\\';

  const ConfigImp& config = ConfigImp::instance();
  std::wstring lower = completed;
  utility::toLower(lower);
  const size_t morvane = lower.find(L"morvane");
  if (isRootPath(completed)) {
    completed += config.installFolder();
  } else if (morvane != std::wstring::npos && morvane + 8 == completed.size()) {
    completed += config.folderName();
  } else if (notNamedAfterStart(completed, config.productName().c_str()) &&
             notNamedAfterStart(completed, L"corvide")) {
    completed += config.installFolder();
  }
  if (helper::disk::isValidInstallPath(completed)) tidyPath(completed);
  return completed;
}

void CMainFrame::tidyPath(std::wstring& path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  // Runs of backslashes become one (the folder names stay apart by exactly one).
  std::wstring collapsed;
  collapsed.reserve(path.size());
  for (wchar_t c : path) {
    if (c == L'\\' && !collapsed.empty() && collapsed.back() == L'\\') continue;
    collapsed += c;
  }
  path = std::move(collapsed);
  const size_t first = path.find_first_not_of(L' ');
  if (first == std::wstring::npos) {
    path.clear();
  } else {
    path.erase(0, first);
    path.erase(path.find_last_not_of(L' ') + 1);
  }
  if (!path.empty() && path.back() != L'\\') path += L'\\';
}

std::wstring CMainFrame::slashToBackslash(const std::wstring& path) {
  std::wstring text = path;
  // "//x" and longer runs at the start keep one slash.
  size_t leading = 0;
  while (leading < text.size() && text[leading] == L'/') ++leading;
  if (leading >= 2) text.erase(0, leading - 1);
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  return text;
}
