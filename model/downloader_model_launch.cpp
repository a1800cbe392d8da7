// init: what this run is for, read from the installer's own file name and command line.
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "model/language_tables.h"
#include "telemetry/qv_reporter.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace {

std::wstring joinPieces(const utility::StringList& pieces, size_t first, size_t last) {
  std::wstring joined;
  for (size_t i = first; i <= last; ++i) {
    if (i > first) joined += L"_";
    joined += pieces[i];
  }
  return joined;
}

}  // namespace

void DownloaderModel::_readLaunchName(const std::wstring& modulePath) {
  // Own name: the text after the last "\" (else "/"), without the last extension.
  size_t sep = modulePath.rfind(L'\\');
  if (sep == std::wstring::npos) sep = modulePath.rfind(L'/');
  std::wstring name = sep == std::wstring::npos ? std::wstring() : modulePath.substr(sep + 1);
  if (const size_t dot = name.rfind(L'.'); dot != std::wstring::npos) name.erase(dot);
  common::logPrint("DownloaderModel::init", __LINE__, L"DownloaderModel exe filename= %s", name.c_str());

  utility::StringList pieces;
  utility::split(name, L"_", pieces);
  const size_t n = pieces.size();
  if (n < 4) return;

  const std::wstring type = pieces[0];
  const std::wstring languagePart = pieces[1];
  std::wstring openidPart = pieces[2];
  std::wstring packagePart;
  std::wstring googleId;
  if (n >= 5) {
    if (utility::isAllDigits(pieces[2])) {
      googleId = joinPieces(pieces, 3, n - 2);
    } else {
      packagePart = pieces[2];
      openidPart = pieces[3];
      if (n >= 6) googleId = joinPieces(pieces, 4, n - 2);
    }
  }
  googleId_ += googleId;
  common::logPrint("DownloaderModel::init", __LINE__, L"type: %s, package:%s, openID:%s google id %s",
                   type.c_str(), packagePart.c_str(), openidPart.c_str(), googleId.c_str());
  common::logPrint("DownloaderModel::init", __LINE__, L"model. type: %s, language %s package:%s, openID:%s",
                   type.c_str(), languagePart.c_str(), packagePart.c_str(), openidPart.c_str());

  // Only an installer whose built-in campaign is "100" takes its campaign from its name.
  if (!openidPart.empty() && openid_ == L"100") openid_ = openidPart;

  if (!languagePart.empty() && languagePart.size() <= 3) {
    if (languagePart == L"ens") {
      ConfigImp::instance().language = L"en";  // international, UI in the system's language
    } else {
      ConfigImp::instance().language = languagePart;
      language_ = languagePart;
    }
  }
  if (packagePart.size() > 5) package_ = packagePart;

  std::wstring lowerType = type;
  utility::toLower(lowerType);
  ConfigImp& config = ConfigImp::instance();
  if (lowerType == L"tarnwick4") {
    config.setPlayer4();
  } else if (lowerType == L"tarnwick64") {
    config.setPlayer64();
  } else if (lowerType == L"tarnwick3") {
    config.setPlayer3();
  } else if (lowerType == L"tarnwick9") {
    config.setPlayer9();
  }
}

void DownloaderModel::_readCommandLine(const wchar_t* commandLine) {
  if (commandLine == nullptr) return;
  std::wstring text = commandLine;
  if (text.size() > 5) {
    if (text.front() == L'"') text.erase(0, 1);
    if (!text.empty() && text.back() == L'"') text.pop_back();
  }
  utility::StringList pieces;
  utility::split(text, L"|", pieces);
  if (pieces.empty()) return;
  utility::StringMap values;
  utility::parseKeyValues(pieces, L"=", values);
  if (values.empty()) return;
  std::wstring name, package, apkurl;
  utility::getValue(values, L"name", name);
  utility::getValue(values, L"package", package);
  utility::getValue(values, L"apkurl", apkurl);
  if (!apkurl.empty()) {
    AppInfo app;
    app.url = apkurl;
    app.package = package;
    app.name = name;
    apps_.push_back(std::move(app));
  }
  common::logPrint("DownloaderModel::init", __LINE__, L"cmdline is %s, %s, %s", name.c_str(),
                   package.c_str(), apkurl.c_str());
}

void DownloaderModel::init(const wchar_t* commandLine) {
  _initFrom(utility::ufile::moduleFileName(), commandLine);
  // Last, once every field it reads is final: the config thread that fetches the remote documents.
  // It works from a copy of the variant's addresses, which a language switch may change meanwhile.
  _prepareConfigRequest();
  configThread_.start(makeRunable(this, &DownloaderModel::_threadGetPlayerUrl));
}

void DownloaderModel::_initFrom(const std::wstring& modulePath, const wchar_t* commandLine) {
  _readLaunchName(modulePath);

  if (!language_.empty()) {
    locale_ = localeFromLanguage(language_);
  } else {
    locale_ = systemLocale();
    language_ = languageFromLocale(locale_);
  }

  analytics_.setCredentials(ConfigImp::instance().measurementId(), ConfigImp::instance().apiSecret());

  common::logPrint("DownloaderModel::init", __LINE__, L"openid is %s, package is %s", openid_.c_str(),
                   package_.c_str());

  _calcInstallPath();

  const int campaign = utility::leadingInt(openid_);
  if (campaign >= 2001 && campaign <= 2999) ConfigImp::instance().adId = L"Tarnwick Installer_200";
  common::logPrint("DownloaderModel::init", __LINE__, L"ad id : %s", ConfigImp::instance().adId.c_str());

  _readCommandLine(commandLine);

  reporter_->init(openid_, analytics_.ensureClientId(), language_);

  // init starts the config thread after this (the steps here are run alone by tests).
}
