#include "model/app_dispatch.h"

#include "model/apk_names.h"
#include "model/package_name.h"
#include "utility/system/log.h"

namespace {

// An empty package adds nothing to the launch: only a package that is there must be one.
std::wstring checked(const AppInfo& app, const std::wstring& parameters) {
  if (app.package.empty() || isAndroidPackageName(app.package)) return parameters;
  common::logPrint("CMainFrame::dispatchApps", __LINE__, L"app not handed over, package is not an Android package name: %s",
                   apknames::safeLaunchValue(app.package).c_str());
  return L"";
}

}  // namespace

std::optional<std::wstring> handOverParameters(const AppInfo& app) {
  using apknames::safeLaunchValue;
  const std::wstring head = L"apk=" + safeLaunchValue(app.spare) + L"|show=true|package=" + app.package;
  if (app.fromAppStore) {
    return checked(app, head + L"|downloadapkurl=" + safeLaunchValue(app.url) + L";S.package=" + app.package +
                            L";S.appname=" + safeLaunchValue(app.name) + L";S.appicon=" +
                            safeLaunchValue(app.screenshot) + L";S.appsize=96");
  }
  if (!app.gameId.empty()) return checked(app, head + L"|downloadgameid=" + safeLaunchValue(app.gameId));
  if (app.package.empty() || !app.url.empty()) return std::nullopt;
  return checked(app, head + L"|downloadpackage=" + app.package);
}
