// Remote configuration: the installer's download address from the player information document
// and the campaign's settings and apps from the openid configuration document, fetched on the
// config thread with the platform client first and libcurl when that fails.
#include <rapidjson/document.h>
#include <rapidjson/encodedstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "net/qv_curl_downloader.h"
#include "telemetry/qv_reporter.h"
#include "utility/system/log.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"

namespace {

// Both documents are a few KiB; a longer reply is refused, not held in memory.
constexpr uint64_t kMaxRemoteDocumentBytes = 256u << 10;

// Both documents are three levels deep. A reply nested deeper is refused as it is read: a parsed
// document costs tens of bytes per bracket, so deep nesting would multiply the reply's size.
constexpr unsigned kMaxNesting = 32;

// Iterative parsing: the nesting limit, not the thread's stack, bounds the depth.
constexpr unsigned kParseFlags = rapidjson::kParseIterativeFlag;

// Builds a document from the reader's events and stops the reading at the first array or
// object nested deeper than kMaxNesting.
class DepthLimitedHandler {
 public:
  DepthLimitedHandler(rapidjson::Document& document, bool& tooDeep) : document_(document), tooDeep_(tooDeep) {}
  bool Null() { return document_.Null(); }
  bool Bool(bool b) { return document_.Bool(b); }
  bool Int(int i) { return document_.Int(i); }
  bool Uint(unsigned i) { return document_.Uint(i); }
  bool Int64(int64_t i) { return document_.Int64(i); }
  bool Uint64(uint64_t i) { return document_.Uint64(i); }
  bool Double(double d) { return document_.Double(d); }
  bool RawNumber(const char* text, rapidjson::SizeType length, bool copy) {
    return document_.RawNumber(text, length, copy);
  }
  bool String(const char* text, rapidjson::SizeType length, bool copy) { return document_.String(text, length, copy); }
  bool Key(const char* text, rapidjson::SizeType length, bool copy) { return document_.Key(text, length, copy); }
  bool StartObject() { return enter() && document_.StartObject(); }
  bool EndObject(rapidjson::SizeType members) { --depth_; return document_.EndObject(members); }
  bool StartArray() { return enter() && document_.StartArray(); }
  bool EndArray(rapidjson::SizeType elements) { --depth_; return document_.EndArray(elements); }

 private:
  bool enter() {
    if (++depth_ <= kMaxNesting) return true;
    tooDeep_ = true;
    return false;
  }
  rapidjson::Document& document_;
  bool& tooDeep_;
  unsigned depth_ = 0;
};

// |reply| as a document; a reply that is no JSON or nests too deep leaves it null (not an object).
void parseReply(const std::string& reply, rapidjson::Document& document, const char* label) {
  bool tooDeep = false;
  auto generator = [&](rapidjson::Document& target) {
    rapidjson::MemoryStream bytes(reply.data(), reply.size());
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> input(bytes);
    DepthLimitedHandler handler(target, tooDeep);
    rapidjson::Reader reader;
    return !reader.Parse<kParseFlags>(input, handler).IsError();
  };
  document.Populate(generator);
  if (tooDeep) {
    common::logPrint(label, __LINE__, L"reply nested deeper than %u levels refused", kMaxNesting);
  }
}

const char* generationMember(int generation) {
  switch (generation) {
    case 4: return "zaz4";
    case 64: return "zaz64";
    case 9: return "zaz9";
    default: return "zaz";
  }
}

// |url| into |buffer|: the platform client first; on failure |fallbackRecord| is logged and
// libcurl tries once more, unless the thread is being stopped (that transfer has no cancel, and
// the failure is the shutdown's own doing).
void fetchDocument(utility::CHttpDownloader& client, const utility::WorkThread& thread, const std::wstring& url,
                   std::string& buffer, const char* label, const wchar_t* fallbackRecord) {
  // A server that trickles must not hold the configuration: each fetch has an overall deadline,
  // and the documents come over https only.
  const net::FetchRules rules{
      .maxBytes = kMaxRemoteDocumentBytes, .deadline = net::remoteDocumentDeadline(), .httpsOnly = true};
  if (client.downloadToMemory(buffer, url, rules)) return;
  buffer.clear();
  if (thread.isStopRequested()) return;  // cancelled by the shutdown: no failure to record
  common::logPrint(label, __LINE__, fallbackRecord);
  QvCurlDownloader::downloadMemory(utility::wideToAnsi(url), buffer, rules);
}

// The text of a member; a member that holds no string counts as empty.
std::string textOf(const rapidjson::Value& value) {
  return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : std::string();
}

void readApps(const rapidjson::Document& document, std::vector<AppInfo>& apps) {
  if (!document.IsObject()) return;
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

void readRemoteSettings(const rapidjson::Document& document, RemoteSettings& settings) {
  if (!document.IsObject()) return;
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

// The optional "size" and "sha256" of the installer beside its "url"; a member that cannot be
// used is logged and checks nothing (documents without them stay valid).
DownloaderModel::InstallerFacts installerFactsOf(const rapidjson::Value& player, const char* label) {
  DownloaderModel::InstallerFacts facts;
  if (const auto size = player.FindMember("size"); size != player.MemberEnd()) {
    if (size->value.IsInt64() && size->value.GetInt64() > 0) {
      facts.size = size->value.GetInt64();
    } else {
      common::logPrint(label, __LINE__, L"installer size not usable, ignored");
    }
  }
  if (const auto hash = player.FindMember("sha256"); hash != player.MemberEnd()) {
    const std::string text = textOf(hash->value);
    if (utility::isSha256Hex(text)) {
      facts.sha256 = text;
      for (char& c : facts.sha256) c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    } else {
      common::logPrint(label, __LINE__, L"installer sha256 not usable, ignored");
    }
  }
  return facts;
}

bool isHttps(const std::wstring& address) {
  std::wstring scheme = address.substr(0, 8);
  utility::toLower(scheme);
  return scheme == L"https://";
}

}  // namespace

std::wstring DownloaderModel::getPlayerUrl() const {
  std::lock_guard<std::mutex> lock(playerUrlMutex_);
  return playerUrl_;
}

void DownloaderModel::setPlayerUrl(const std::wstring& url) { setPlayerUrl(url, InstallerFacts{}); }

void DownloaderModel::setPlayerUrl(const std::wstring& url, const InstallerFacts& facts) {
  std::lock_guard<std::mutex> lock(playerUrlMutex_);
  playerUrl_ = url;
  installerFacts_ = facts;
}

DownloaderModel::InstallerFacts DownloaderModel::getInstallerFacts() const {
  std::lock_guard<std::mutex> lock(playerUrlMutex_);
  return installerFacts_;
}

void DownloaderModel::_prepareConfigRequest() {
  const ConfigImp& config = ConfigImp::instance();
  configRequest_ = {config.playerInfoUrl(), config.generation(), config.openidConfigUrl(openid_), apps_.empty()};
}

void DownloaderModel::_threadGetPlayerUrl() {
  const char* label = "DownloaderModel::_threadGetPlayerUrl";
  common::logPrint(label, __LINE__, L"start get player url");
  std::string buffer;
  fetchDocument(configClient_, configThread_, configRequest_.playerInfoUrl, buffer, label, L"error 1");
  // A fetch cut short by the shutdown is no reply: nothing to read, nothing to report.
  if (configThread_.isStopRequested()) return;

  rapidjson::Document document;
  parseReply(buffer, document, label);
  if (!document.IsObject()) {
    common::logPrint(label, __LINE__, L"error 2");
    reporter_->report(L"download_address_fail");
  } else {
    const auto player = document.FindMember(generationMember(configRequest_.generation));
    if (player != document.MemberEnd() && player->value.IsObject()) {
      const auto url = player->value.FindMember("url");
      if (url != player->value.MemberEnd() && url->value.IsString()) {
        const std::wstring address = utility::utf8ToWide(textOf(url->value));
        // The installer runs with administrator rights: it comes over https or from the fixed address.
        if (isHttps(address)) {
          setPlayerUrl(address, installerFactsOf(player->value, label));
        } else {
          common::logPrint(label, __LINE__, L"player url is not https, refused: %s", address.c_str());
        }
      }
    }
  }

  // The campaign's apps and settings are the main thread's: they are handed over in a posted task.
  std::vector<AppInfo> apps;
  RemoteSettings settings;
  if (configRequest_.fetchCampaign && !configThread_.isStopRequested()) _getPackageByOpenID(apps, settings);
  if (configThread_.isStopRequested()) return;
  taskPoster_.postFunction([this, apps = std::move(apps), settings = std::move(settings)]() mutable {
    apps_.insert(apps_.end(), std::make_move_iterator(apps.begin()), std::make_move_iterator(apps.end()));
    remoteSettings_ = std::move(settings);
    remoteConfigArrived_ = true;
  });
}

void DownloaderModel::_getPackageByOpenID(std::vector<AppInfo>& apps, RemoteSettings& settings) {
  const char* label = "DownloaderModel::_getPackageByOpenID";
  if (openid_.size() > 4) {
    common::logPrint(label, __LINE__, L"start get package.");
    // The config thread's client, so that the shutdown's cancel reaches this transfer too.
    std::string buffer;
    fetchDocument(configClient_, configThread_, configRequest_.openidConfigUrl, buffer, label,
                  L"get package data by qvcurl ");
    if (configThread_.isStopRequested()) return;
    rapidjson::Document document;
    parseReply(buffer, document, label);
    readApps(document, apps);
    readRemoteSettings(document, settings);
  }
  common::logPrint(label, __LINE__, L"package is %s", package_.c_str());
}
