#include "toolkit/win/folder_chooser_win.h"

#include <objbase.h>
#include <shobjidl.h>

#include "utility/base/strings.h"

namespace toolkit::win {
namespace {

// COM for this call on this thread (the shell's dialog needs a single-threaded apartment).
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  // A thread already in another apartment still has COM.
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() { return &p_; }

 private:
  T* p_ = nullptr;
};

}  // namespace

std::optional<std::string> chooseFolderModal(HWND owner, std::wstring_view title, const std::string& startFolder) {
  ComApartment com;
  if (!com.usable()) return std::nullopt;
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(dialog.out())))) {
    return std::nullopt;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  const std::wstring caption(title);
  if (!caption.empty()) dialog->SetTitle(caption.c_str());
  if (!startFolder.empty()) {
    const std::wstring start = utility::utf8ToWide(startFolder);
    ComPtr<IShellItem> folder;
    if (SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem,
                                              reinterpret_cast<void**>(folder.out())))) {
      dialog->SetFolder(folder.get());
    }
  }
  // Show disables the owner while it runs and gives it back after.
  if (FAILED(dialog->Show(owner))) return std::nullopt;
  ComPtr<IShellItem> chosen;
  if (FAILED(dialog->GetResult(chosen.out()))) return std::nullopt;
  PWSTR path = nullptr;
  if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path)) || path == nullptr) return std::nullopt;
  std::string folder = utility::wideToUtf8(path);
  CoTaskMemFree(path);
  return folder;
}

}  // namespace toolkit::win
