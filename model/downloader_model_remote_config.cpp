// Remote configuration: the installer's download address from the player information document
// and the campaign's settings and apps from the openid configuration document, fetched on the
// config thread with the platform client first and libcurl when that fails.
#include <rapidjson/document.h>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "net/qv_curl_downloader.h"
#include "telemetry/qv_reporter.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"

namespace {

// Neither document is anywhere near this; a longer reply is refused, not held in memory.
constexpr uint64_t kMaxRemoteDocumentBytes = 8u << 20;

// Iterative parsing: a reply of nested brackets must not exhaust the thread's stack.
constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag;

const char* generationMember(int generation) {
  switch (generation) {
    case 4: return "zaz4";
    case 64: return "zaz64";
    case 9: return "zaz9";
    default: return "zaz";
  }
}

// |url| into |buffer|: the platform client first; on failure |fallbackRecord| is logged and
// libcurl tries once more, unless the thread is being stopped (that transfer has no cancel).
void fetchDocument(utility::CHttpDownloader& client, const utility::WorkThread& thread, const std::wstring& url,
                   std::string& buffer, const char* label, const wchar_t* fallbackRecord) {
  // A server that trickles must not hold the configuration: each fetch has an overall deadline.
  const net::FetchRules rules{.maxBytes = kMaxRemoteDocumentBytes, .deadline = net::remoteDocumentDeadline()};
  if (client.downloadToMemory(buffer, url, rules)) return;
  common::logPrint(label, __LINE__, fallbackRecord);
  buffer.clear();
  if (thread.isStopRequested()) return;
  QvCurlDownloader::downloadMemory(utility::wideToAnsi(url), buffer, rules);
}

// The text of a member; a member that holds no string counts as empty.
std::string textOf(const rapidjson::Value& value) {
  return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : std::string();
}

void readApps(const std::string& reply, std::vector<AppInfo>& apps) {
  rapidjson::Document document;
  document.Parse<kParseFlags>(reply.data(), reply.size());
  if (document.HasParseError() || !document.IsObject()) return;
  const auto result = document.FindMember("result");
  if (result == document.MemberEnd() || !result->value.IsArray()) return;
  for (const rapidjson::Value& entry : result->value.GetArray()) {
    AppInfo app;
    if (entry.IsObject()) {
      for (const auto& member : entry.GetObject()) {
        const std::string name(member.name.GetString(), member.name.GetStringLength());
        const std::string text = textOf(member.value);
        if (name == "app_download_url") {
          app.url = utility::utf8ToWide(text);
        } else if (name == "app_package_name") {
          app.package = utility::utf8ToWide(text);
        } else if (name == "gamename") {
          app.name = utility::utf8ToWide(text);
        } else if (name == "app_icon") {
          app.icon = utility::utf8ToWide(text);
        } else if (name == "app_obb") {
          if (!text.empty()) app.obb = utility::utf8ToWide(text);
        } else if (name == "game_slt_url") {
          app.screenshot = utility::utf8ToWide(text);
        } else if (name == "resolution") {
          app.resolution = utility::ansiToWide(text);
        } else if (name == "gameid") {
          app.gameId = utility::ansiToWide(text);
        } else if (name == "xapk") {
          app.isXapk = text == "1";
        } else if (name == "from_appstore") {
          app.fromAppStore = text == "1";
        }
      }
    }
    if (!app.url.empty() || !app.gameId.empty() || !app.package.empty()) apps.push_back(std::move(app));
  }
}

void readRemoteSettings(const std::string& reply, RemoteSettings& settings) {
  rapidjson::Document document;
  document.Parse<kParseFlags>(reply.data(), reply.size());
  if (document.HasParseError() || !document.IsObject()) return;
  const std::pair<const char*, std::wstring*> texts[] = {
      {"launch_h", &settings.launchLandscape}, {"launch_V", &settings.launchPortrait},
      {"title", &settings.title},              {"runapp", &settings.runApp},
      {"qqlink", &settings.qqLink},            {"shortcutname", &settings.shortcutName},
      {"shortcuturl", &settings.shortcutUrl},  {"heapsize", &settings.heapSize},
  };
  for (const auto& [name, field] : texts) {
    const auto member = document.FindMember(name);
    if (member != document.MemberEnd() && member->value.IsString()) *field = utility::utf8ToWide(textOf(member->value));
  }
  const std::pair<const char*, bool*> flags[] = {
      {"ad", &settings.showAd}, {"cleanmodel", &settings.cleanModel}, {"runappstore", &settings.runAppStore}};
  for (const auto& [name, field] : flags) {
    const auto member = document.FindMember(name);
    if (member == document.MemberEnd()) continue;
    // Any integer counts, whatever its size.
    if (member->value.IsInt64()) *field = member->value.GetInt64() != 0;
    else if (member->value.IsUint64()) *field = member->value.GetUint64() != 0;
  }
  const auto root = document.FindMember("root");
  if (root != document.MemberEnd() && root->value.IsBool()) settings.useRoot = root->value.GetBool() ? 1 : 0;
}

}  // namespace

std::wstring DownloaderModel::getPlayerUrl() const {
  std::lock_guard<std::mutex> lock(playerUrlMutex_);
  return playerUrl_;
}

void DownloaderModel::setPlayerUrl(const std::wstring& url) {
  std::lock_guard<std::mutex> lock(playerUrlMutex_);
  playerUrl_ = url;
}

void DownloaderModel::_prepareConfigRequest() {
  const ConfigImp& config = ConfigImp::instance();
  configRequest_ = {config.playerInfoUrl(), config.generation(), config.openidConfigUrl(openid_)};
}

void DownloaderModel::_threadGetPlayerUrl() {
  const char* label = "DownloaderModel::_threadGetPlayerUrl";
  common::logPrint(label, __LINE__, L"start get player url");
  std::string buffer;
  fetchDocument(configClient_, configThread_, configRequest_.playerInfoUrl, buffer, label, L"error 1");

  rapidjson::Document document;
  document.Parse<kParseFlags>(buffer.data(), buffer.size());
  if (document.HasParseError() || !document.IsObject()) {
    common::logPrint(label, __LINE__, L"error 2");
    QvReporter::instance().report(L"download_address_fail");
  } else {
    const auto player = document.FindMember(generationMember(configRequest_.generation));
    if (player != document.MemberEnd() && player->value.IsObject()) {
      const auto url = player->value.FindMember("url");
      if (url != player->value.MemberEnd() && url->value.IsString()) setPlayerUrl(utility::utf8ToWide(textOf(url->value)));
    }
  }

  if (apps_.empty() && !configThread_.isStopRequested()) _getPackageByOpenID(apps_);
}

void DownloaderModel::_getPackageByOpenID(std::vector<AppInfo>& apps) {
  const char* label = "DownloaderModel::_getPackageByOpenID";
  if (openid_.size() > 4) {
    common::logPrint(label, __LINE__, L"start get package.");
    // The config thread's client, so that the shutdown's cancel reaches this transfer too.
    std::string buffer;
    fetchDocument(configClient_, configThread_, configRequest_.openidConfigUrl, buffer, label,
                  L"get package data by qvcurl ");
    readApps(buffer, apps);
    readRemoteSettings(buffer, remoteSettings_);
  }
  common::logPrint(label, __LINE__, L"package is %s", package_.c_str());
}
