// The two facts that select everything else, emulator generation and language code, and every
// lookup that depends only on them.
#pragma once

#include <string>

class ConfigImp {
 public:
  static ConfigImp& instance();

  void setPlayer4();
  void setPlayer64();
  void setPlayer3();
  void setPlayer9();

  int generation() const;
  bool isChinaVariant() const { return language == L"cn"; }

  std::wstring folderName() const;
  std::wstring installFolder() const;
  std::wstring productName() const;
  std::wstring playerInfoUrl() const;
  std::wstring defaultPlayerUrl() const;
  // The international web site's full installer of |generation|, whatever this variant is.
  static std::wstring internationalPlayerUrl(int generation);
  std::wstring openidConfigUrl(const std::wstring& openid) const;
  std::wstring registryKey() const;
  std::wstring installerPath(const std::wstring& folder) const;
  std::wstring languageFile() const;
  std::wstring homePageUrl() const;
  std::wstring communityUrl() const;
  std::wstring fallbackDownloadUrl() const;
  std::wstring licenceUrl() const;
  std::wstring measurementId() const;
  std::wstring apiSecret() const;

  std::wstring language = L"en";
  std::wstring adId = L"Downloader";

 private:
  ConfigImp() = default;
  bool is4_ = false;
  bool is64_ = false;
  bool is9_ = true;
};
