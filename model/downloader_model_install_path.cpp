// The proposed installation folder: the folder of an installed emulator of this generation, or
// a fixed folder on the best drive.
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "utility/system/disk.h"
#include "utility/system/log.h"
#include "utility/system/registry.h"

namespace {

constexpr const wchar_t* kTwKey = L"Software\\Dornvale\\corvide-tw";
constexpr const wchar_t* kKrKey = L"Software\\Dornvale\\corvide-kr";
constexpr const wchar_t* kInstallDirValue = L"InstallDir";
// The value is read into a 2048-byte buffer of UTF-16 text, terminator included.
constexpr size_t kFolderBufferBytes = 2048;

// A template, so that the branch for the other width of wchar_t is not compiled.
template <class Char>
size_t utf16Units(const std::basic_string<Char>& text) {
  if constexpr (sizeof(Char) == 2) {
    return text.size();  // wide text is UTF-16 already
  } else {
    size_t units = 0;
    for (const Char c : text) units += static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
    return units;
  }
}

// "InstallDir" of the key; opening creates the key, empty, when it does not exist.
std::wstring readRegistryFolder(const std::wstring& keyPath) {
  utility::registry::Key key;
  if (!key.create(keyPath)) return {};
  std::wstring folder;
  if (!key.queryString(kInstallDirValue, folder)) return {};
  if (const size_t nul = folder.find(L'\0'); nul != std::wstring::npos) folder.erase(nul);
  // A value larger than the buffer is not read at all.
  if ((utf16Units(folder) + 1) * sizeof(char16_t) > kFolderBufferBytes) return {};
  return folder;
}

}  // namespace

void DownloaderModel::_calcInstallPath() {
  const ConfigImp& config = ConfigImp::instance();
  const int generation = config.generation();
  if (generation == 9 || generation == 3) {
    if (config.language == L"tw") {
      installPath_ = readRegistryFolder(kTwKey);
    } else if (config.language == L"kr") {
      installPath_ = readRegistryFolder(kKrKey);
    }
  }
  if (installPath_.empty()) installPath_ = readRegistryFolder(config.registryKey());
  common::logPrint("DownloaderModel::_calcInstallPath", __LINE__, L"read from reg: path is %s",
                   installPath_.c_str());

  if (installPath_.empty()) {
    std::wstring root;
    bool ssd = false;
    helper::disk::bestInstallDrive(root, ssd);
    bestPathFlag_ = ssd ? 1 : 0;
    installPath_ = root + config.installFolder();
    bestPath_ = installPath_;
    common::logPrint("DownloaderModel::_calcInstallPath", __LINE__, L"get install path from MaxFreeSpace: %s",
                     installPath_.c_str());
  }
}
