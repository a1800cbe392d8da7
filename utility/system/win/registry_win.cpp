// The user's registry: keys below HKEY_CURRENT_USER through the Win32 registry calls. Values
// are written as REG_SZ with their terminator; strings are read whatever their terminator.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "utility/system/log.h"
#include "utility/system/registry.h"
#include "utility/system/win/hkey_win.h"

namespace utility::registry {

struct Key::Handle {
  UniqueHKey key;
};

namespace {

// NtQueryKey's KeyNameInformation: the key's full name as the registry stores it.
constexpr int kKeyNameInformation = 3;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005L);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023L);
using NtQueryKeyFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

NtQueryKeyFunction ntQueryKey() {
  static const NtQueryKeyFunction function = [] {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const FARPROC found = ntdll != nullptr ? ::GetProcAddress(ntdll, "NtQueryKey") : nullptr;
    return reinterpret_cast<NtQueryKeyFunction>(reinterpret_cast<void (*)()>(found));
  }();
  return function;
}

bool sameName(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
             CSTR_EQUAL;
}

// |path| as the registry spells the key (the spelling it was created with); |path| itself when
// the registry does not say.
std::wstring storedSpelling(HKEY key, const std::wstring& path) {
  const NtQueryKeyFunction query = ntQueryKey();
  if (path.empty() || query == nullptr) return path;
  std::vector<unsigned char> buffer(512);
  LONG status = 0;
  ULONG needed = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    status = query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if ((status != kStatusBufferOverflow && status != kStatusBufferTooSmall) || needed <= buffer.size()) break;
    buffer.resize(needed);
  }
  if (status != 0) return path;
  ULONG nameBytes = 0;
  std::memcpy(&nameBytes, buffer.data(), sizeof(nameBytes));
  nameBytes = std::min<ULONG>(nameBytes, static_cast<ULONG>(buffer.size() - sizeof(ULONG)));
  std::wstring full(nameBytes / sizeof(wchar_t), L'\0');
  std::memcpy(full.data(), buffer.data() + sizeof(ULONG), full.size() * sizeof(wchar_t));
  // The full name starts with the user's hive ("\REGISTRY\USER\<sid>\"): keep as many trailing
  // parts as |path| has.
  size_t parts = 1;
  for (const wchar_t c : path) parts += c == L'\\' ? 1 : 0;
  size_t start = full.size();
  for (size_t found = 0; found < parts; ++found) {
    const size_t separator = start == 0 ? std::wstring::npos : full.rfind(L'\\', start - 1);
    if (separator == std::wstring::npos) return path;
    start = separator;
  }
  std::wstring spelled = full.substr(start + 1);
  return sameName(spelled, path) ? spelled : path;
}

std::wstring textOf(const std::vector<unsigned char>& data) {
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  if (!text.empty() && text.back() == L'\0') text.pop_back();  // the terminator, when there is one
  return text;
}

std::wstring expanded(const std::wstring& text) {
  const std::wstring source = text.substr(0, text.find(L'\0'));
  std::wstring out(source.size() + 64, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (needed == 0) return text;
    if (needed <= out.size()) {
      out.resize(needed - 1);
      return out;
    }
    out.resize(needed);
  }
  return text;
}

bool isString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The type and bytes of a value; ERROR_SUCCESS or the registry's error.
LONG readValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<unsigned char>& data) {
  data.clear();
  LONG result = ERROR_MORE_DATA;
  // The value may grow between asking its size and reading it.
  for (int attempt = 0; attempt < 8 && result == ERROR_MORE_DATA; ++attempt) {
    DWORD size = static_cast<DWORD>(data.size());
    result = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
    if (result == ERROR_SUCCESS && data.empty() && size > 0) result = ERROR_MORE_DATA;
    if (result == ERROR_MORE_DATA) {
      data.resize(size);
    } else if (result == ERROR_SUCCESS) {
      data.resize(size);
    }
  }
  return result;
}

}  // namespace

Key::Key() = default;
Key::~Key() = default;
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;

bool Key::openKey(const std::wstring& path, bool create) {
  close();
  if (!isValidKeyPath(path)) {
    common::logPrint("utility::registry::Key::open", __LINE__, L"bad key name [ %s ].", path.c_str());
    return false;
  }
  UniqueHKey key;
  // Read and write where the user may; a key the user may only read still opens for reading.
  LONG result = ERROR_ACCESS_DENIED;
  for (const REGSAM access : {static_cast<REGSAM>(KEY_READ | KEY_WRITE), static_cast<REGSAM>(KEY_READ)}) {
    if (result != ERROR_ACCESS_DENIED) break;
    if (create) {
      result = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                 nullptr, key.receive(), nullptr);
    } else {
      result = ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, key.receive());
    }
  }
  if (result != ERROR_SUCCESS) {
    if (create) {
      common::logPrint("utility::registry::Key::create", __LINE__, L"create key [ %s ] failed! error = %d.",
                       path.c_str(), static_cast<int>(result));
    } else if (result != ERROR_FILE_NOT_FOUND) {
      common::logPrint("utility::registry::Key::open", __LINE__, L"open key [ %s ] failed! error = %d.",
                       path.c_str(), static_cast<int>(result));
    }
    return false;
  }
  name_ = storedSpelling(key.get(), path);
  handle_ = std::make_unique<Handle>();
  handle_->key = std::move(key);
  return true;
}

bool Key::create(const std::wstring& path) { return openKey(path, true); }

bool Key::open(const std::wstring& path) { return openKey(path, false); }

void Key::close() {
  name_.clear();
  handle_.reset();
}

bool Key::queryString(const std::wstring& valueName, std::wstring& value) const {
  if (!isOpen()) return false;
  DWORD type = REG_NONE;
  std::vector<unsigned char> data;
  const LONG result = readValue(handle_->key.get(), valueName, type, data);
  if (result != ERROR_SUCCESS) {
    if (result != ERROR_FILE_NOT_FOUND) {
      common::logPrint("utility::registry::Key::queryString", __LINE__, L"read key [ %s ] failed! error = %d.",
                       name_.c_str(), static_cast<int>(result));
    }
    return false;
  }
  // A number or binary data read as text would become a folder or a command of its own.
  if (!isString(type)) {
    common::logPrint("utility::registry::Key::queryString", __LINE__,
                     L"value [ %s ] of key [ %s ] is no string (type %d).", valueName.c_str(), name_.c_str(),
                     static_cast<int>(type));
    return false;
  }
  value = type == REG_EXPAND_SZ ? expanded(textOf(data)) : textOf(data);
  return true;
}

bool Key::setString(const std::wstring& valueName, const std::wstring& value) {
  if (!isOpen()) return false;
  LONG result = ERROR_INVALID_PARAMETER;
  const size_t bytes = (value.size() + 1) * sizeof(wchar_t);
  if (bytes <= MAXDWORD) {
    result = ::RegSetValueExW(handle_->key.get(), valueName.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(bytes));
  }
  if (result == ERROR_SUCCESS) return true;
  common::logPrint("utility::registry::Key::setString", __LINE__, L"write [ %s ] of key [ %s ] failed! error = %d.",
                   valueName.c_str(), name_.c_str(), static_cast<int>(result));
  return false;
}

bool Key::deleteValue(const std::wstring& valueName) {
  if (!isOpen()) return false;
  const LONG result = ::RegDeleteValueW(handle_->key.get(), valueName.c_str());
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return true;
  common::logPrint("utility::registry::Key::deleteValue", __LINE__,
                   L"delete [ %s ] of key [ %s ] failed! error = %d.", valueName.c_str(), name_.c_str(),
                   static_cast<int>(result));
  return false;
}

std::vector<std::pair<std::wstring, std::wstring>> Key::values() const {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  if (!isOpen()) return out;
  const HKEY key = handle_->key.get();
  DWORD longestName = 0;
  DWORD largestData = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                         &largestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return out;
  }
  std::vector<wchar_t> name(longestName + 1);
  // Never empty: without a buffer the call only measures, and a value may have grown meanwhile.
  std::vector<unsigned char> data(std::max<DWORD>(largestData, sizeof(wchar_t)));
  for (DWORD index = 0;;) {
    DWORD nameChars = static_cast<DWORD>(name.size());
    DWORD dataBytes = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LONG result = ::RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, data.data(), &dataBytes);
    if (result == ERROR_MORE_DATA) {
      // Another process wrote a longer name or value meanwhile: room for it, same index again.
      name.resize(std::max<size_t>(name.size() * 2, 32768));
      data.resize(std::max<size_t>(data.size() * 2, dataBytes));
      if (data.size() > (64u << 20)) break;
      continue;
    }
    if (result != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS, or the key went away
    ++index;
    if (!isString(type)) continue;
    const std::vector<unsigned char> bytes(data.begin(), data.begin() + std::min<size_t>(dataBytes, data.size()));
    const std::wstring text = textOf(bytes);
    out.emplace_back(std::wstring(name.data(), nameChars), type == REG_EXPAND_SZ ? expanded(text) : text);
  }
  return out;
}

}  // namespace utility::registry
