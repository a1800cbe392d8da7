#include "model/config_imp.h"

#include <algorithm>
#include <array>

#include "deployment/deployment.h"
#include "utility/system/log.h"

namespace {

// Generation text as folders and the China installer name write it.
const wchar_t* generationText(int generation) {
  switch (generation) {
    case 4: return L"4.0";
    case 64: return L"64";
    case 9: return L"9";
    default: return L"3.0";
  }
}

const deployment::AnalyticsCredentials& credentialsFor(const std::wstring& language) {
  const deployment::Values& v = deployment::values();
  for (const auto& [codes, credentials] : v.analyticsByLanguage) {
    if (std::find(codes.begin(), codes.end(), language) != codes.end()) return credentials;
  }
  return v.analyticsDefault;
}

}  // namespace

ConfigImp& ConfigImp::instance() {
  static ConfigImp* const kInstance = new ConfigImp();  // never deleted
  return *kInstance;
}

void ConfigImp::setPlayer4() {
  common::logPrint("ConfigImp::setPlayer4", __LINE__, L"player is 4");
  is4_ = true, is64_ = false, is9_ = false;
}

void ConfigImp::setPlayer64() {
  common::logPrint("ConfigImp::setPlayer64", __LINE__, L"player is 64");
  is4_ = false, is64_ = true, is9_ = false;
}

void ConfigImp::setPlayer3() { is4_ = false, is64_ = false, is9_ = false; }

void ConfigImp::setPlayer9() { is4_ = false, is64_ = false, is9_ = true; }

int ConfigImp::generation() const {
  if (is4_) return 4;
  if (is64_) return 64;
  if (is9_) return 9;
  return 3;
}

std::wstring ConfigImp::folderName() const {
  const int g = generation();
  if (g == 4 && !isChinaVariant()) return L"4.0\\";
  return std::wstring(L"Tarnwick") + generationText(g) + L"\\";
}

std::wstring ConfigImp::installFolder() const {
  const std::wstring chinaFolder = std::wstring(L"Tarnwick") + generationText(generation()) + L"\\";
  return (isChinaVariant() ? L"Morvane\\" : L"Tarnwick\\") + chinaFolder;
}

std::wstring ConfigImp::productName() const { return L"Tarnwick"; }

std::wstring ConfigImp::playerInfoUrl() const {
  const deployment::Values& v = deployment::values();
  if (isChinaVariant()) return L"https://" + v.chinaResourceHost + L"/qv/morvane";
  return L"https://" + v.contentDeliveryHost + L"/player_files/en/morvane";
}

std::wstring ConfigImp::defaultPlayerUrl() const {
  const deployment::Values& v = deployment::values();
  const int g = generation();
  if (isChinaVariant()) {
    return L"https://" + v.chinaResourceHost + L"/download/release/qvinst" + generationText(g) + L".exe";
  }
  return internationalPlayerUrl(g);
}

std::wstring ConfigImp::internationalPlayerUrl(int generation) {
  const wchar_t* text = generation == 9 ? L"9.0" : generationText(generation);
  return L"https://" + deployment::values().contentDeliveryHost + L"/download/package/Tarnwick" + text + L".exe";
}

std::wstring ConfigImp::openidConfigUrl(const std::wstring& openid) const {
  const deployment::Values& v = deployment::values();
  const std::wstring& host = isChinaVariant() ? v.chinaResourceHost : v.contentDeliveryHost;
  return L"https://" + host + L"/player_files/openidconfig/" + openid + L".data";
}

std::wstring ConfigImp::registryKey() const {
  const bool china = isChinaVariant();
  switch (generation()) {
    case 4: return china ? L"Software\\morvane\\Tarnwick" : L"Software\\Pellfor\\Tarnwick";
    case 64: return china ? L"Software\\morvane\\Tarnwick64" : L"Software\\Pellfor\\Tarnwick64";
    case 9: return china ? L"Software\\morvane\\Tarnwick9" : L"Software\\Pellfor\\Tarnwick9";
    default: return china ? L"Software\\Dornvale2\\corvide" : L"Software\\Dornvale\\Tarnwick";
  }
}

std::wstring ConfigImp::installerPath(const std::wstring& folder) const {
  return folder + (isChinaVariant() ? L"\\qvinst.exe" : L"\\Tarnwick.exe");
}

std::wstring ConfigImp::languageFile() const {
  static const std::array<const wchar_t*, 15> kCodes = {L"cn", L"tw", L"kr", L"vn", L"th",
                                                        L"ru", L"pt", L"fr", L"jp", L"es",
                                                        L"id", L"ar", L"fa", L"tr", L"de"};
  const bool known = std::any_of(kCodes.begin(), kCodes.end(),
                                 [&](const wchar_t* code) { return language == code; });
  return L"language\\downloader_" + (known ? language : std::wstring(L"en")) + L".xml";
}

std::wstring ConfigImp::homePageUrl() const { return deployment::values().homePages.lookup(language); }

std::wstring ConfigImp::communityUrl() const {
  if (language == L"cn") return deployment::values().homePages.lookup(L"cn");
  return deployment::values().communityPages.lookup(language);
}

std::wstring ConfigImp::fallbackDownloadUrl() const {
  if (isChinaVariant()) return deployment::values().homePages.lookup(L"cn");
  return deployment::values().fallbackDownloadUrl;
}

std::wstring ConfigImp::licenceUrl() const {
  return L"https://" + deployment::values().licenceHost + L"/other/protocol.html";
}

std::wstring ConfigImp::measurementId() const { return credentialsFor(language).measurementId; }

std::wstring ConfigImp::apiSecret() const { return credentialsFor(language).apiSecret; }
