// The campaign (openid configuration) document as the config thread reads it: the apps and
// settings that reach the model. Every app names something to fetch, no entry gives more than one
// app, every text is valid, and what the document does not give keeps its initial value.
#include "fuzz/remote_document.h"

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_text.h"

namespace {

using fuzzdoc::check;

bool hasString(const rapidjson::Document& document, const char* name) {
  const auto member = document.FindMember(name);
  return member != document.MemberEnd() && member->value.IsString();
}

bool hasInteger(const rapidjson::Document& document, const char* name) {
  const auto member = document.FindMember(name);
  return member != document.MemberEnd() && (member->value.IsInt64() || member->value.IsUint64());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  common::setLogHook(fuzzdoc::silent);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  rapidjson::Document document;
  fuzzdoc::parseChecked(reply, document);

  std::vector<AppInfo> apps;
  readApps(document, apps);
  size_t entries = 0;
  if (document.IsObject()) {
    const auto result = document.FindMember("result");
    if (result != document.MemberEnd() && result->value.IsArray()) entries = result->value.Size();
  }
  check(apps.size() <= entries);
  for (const AppInfo& app : apps) {
    check(!app.url.empty() || !app.gameId.empty() || !app.package.empty());
    for (const std::wstring* text : {&app.url, &app.package, &app.name, &app.icon, &app.obb, &app.screenshot,
                                     &app.resolution, &app.gameId}) {
      check(fuzztext::isValidText(*text));
    }
  }
  // Reading is a function of the document alone.
  std::vector<AppInfo> again;
  readApps(document, again);
  check(again.size() == apps.size());
  for (size_t i = 0; i < apps.size(); ++i) {
    check(again[i].url == apps[i].url && again[i].package == apps[i].package && again[i].name == apps[i].name);
  }

  RemoteSettings settings;
  readRemoteSettings(document, settings);
  const RemoteSettings initial;
  const std::pair<const char*, const std::wstring*> texts[] = {
      {"launch_h", &settings.launchLandscape}, {"launch_V", &settings.launchPortrait},
      {"title", &settings.title},              {"runapp", &settings.runApp},
      {"qqlink", &settings.qqLink},            {"shortcutname", &settings.shortcutName},
      {"shortcuturl", &settings.shortcutUrl},  {"heapsize", &settings.heapSize},
  };
  for (const auto& [name, field] : texts) {
    check(fuzztext::isValidText(*field));
    if (!document.IsObject() || !hasString(document, name)) check(field->empty());
  }
  const std::pair<const char*, std::pair<bool, bool>> flags[] = {
      {"ad", {settings.showAd, initial.showAd}},
      {"cleanmodel", {settings.cleanModel, initial.cleanModel}},
      {"runappstore", {settings.runAppStore, initial.runAppStore}}};
  for (const auto& [name, pair] : flags) {
    if (!document.IsObject() || !hasInteger(document, name)) check(pair.first == pair.second);
  }
  check(settings.useRoot >= -1 && settings.useRoot <= 1);
  if (settings.useRoot != -1) {
    const auto root = document.FindMember("root");
    check(root != document.MemberEnd() && root->value.IsBool() && (settings.useRoot == 1) == root->value.GetBool());
  }
  return 0;
}
