// The user's registry (the keys below HKEY_CURRENT_USER): keys named by texts with "\"
// separators ("Software\Dornvale\corvide-tw"), holding string values. Key and value names
// compare without regard to case and keep the spelling they were first written with.
// Here every key is one file in the user's configuration folder, replaced whole on every
// change, so concurrent writers in several processes never leave a broken key.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace utility {
namespace registry {

class Key {
 public:
  Key() = default;
  Key(Key&&) noexcept = default;
  Key& operator=(Key&&) noexcept = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  // Opens the key, creating it (and missing parent keys) empty when it does not exist.
  bool create(const std::wstring& path);
  // Opens the key only when it exists.
  bool open(const std::wstring& path);
  bool isOpen() const { return !file_.empty(); }
  void close();
  // The key's text as first written.
  const std::wstring& name() const { return name_; }

  // False when the value does not exist or the key cannot be read.
  bool queryString(const std::wstring& valueName, std::wstring& value) const;
  bool setString(const std::wstring& valueName, const std::wstring& value);
  // True when the value is gone afterwards (also when it never existed).
  bool deleteValue(const std::wstring& valueName);
  // Every value of the key, names as first written, in the order they were first written.
  std::vector<std::pair<std::wstring, std::wstring>> values() const;

 private:
  bool openKey(const std::wstring& path, bool create);

  std::wstring name_;
  std::string file_;
};

}  // namespace registry
}  // namespace utility
