// The user's registry (the keys below HKEY_CURRENT_USER): keys named by texts with "\"
// separators ("Software\Dornvale\corvide-tw"), holding string values. Key and value names
// compare without regard to case and keep the spelling they were first written with.
// On Windows this is the registry itself. On Linux every key is one file in the user's
// configuration folder, replaced whole on every change, so concurrent writers in several
// processes never leave a broken key.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace utility {
namespace registry {

// Key texts are names separated by single "\"; the empty text is the root key itself.
bool isValidKeyPath(const std::wstring& path);

class Key {
 public:
  Key();
  ~Key();
  Key(Key&&) noexcept;
  Key& operator=(Key&&) noexcept;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  // Opens the key, creating it (and missing parent keys) empty when it does not exist.
  bool create(const std::wstring& path);
  // Opens the key only when it exists.
  bool open(const std::wstring& path);
  bool isOpen() const { return handle_ != nullptr; }
  void close();
  // The key's text as first written.
  const std::wstring& name() const { return name_; }

  // False when the value does not exist, is no string (a number, binary data) or the key cannot
  // be read. A value stored for expansion has its environment references expanded.
  bool queryString(const std::wstring& valueName, std::wstring& value) const;
  bool setString(const std::wstring& valueName, const std::wstring& value);
  // True when the value is gone afterwards (also when it never existed).
  bool deleteValue(const std::wstring& valueName);
  // Every string value of the key, names as first written, in the order the store lists them
  // (the order they were first written, on Linux).
  std::vector<std::pair<std::wstring, std::wstring>> values() const;

 private:
  struct Handle;  // the platform's open key

  bool openKey(const std::wstring& path, bool create);

  std::wstring name_;
  std::unique_ptr<Handle> handle_;
};

}  // namespace registry
}  // namespace utility
