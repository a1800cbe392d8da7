#include "ui/ui_actions.h"

#include "model/downloader_model.h"
#include "telemetry/qv_reporter.h"
#include "utility/system/process.h"

namespace uiactions {
namespace {

Actions& replaced() {
  static Actions actions;
  return actions;
}

}  // namespace

void setForTesting(Actions actions) { replaced() = std::move(actions); }

void sendUiEvent(const std::wstring& name, const std::wstring& label) {
  if (replaced().sendUiEvent) return replaced().sendUiEvent(name, label);
  DownloaderModel::instance().sendUiEvent(name, label);
}

void reportUiEvent(const std::wstring& name, const std::wstring& label) {
  if (replaced().reportUiEvent) return replaced().reportUiEvent(name, label);
  DownloaderModel::instance().reportUiEvent(name, label);
}

void report(const wchar_t* eventKey) {
  if (replaced().report) return replaced().report(eventKey);
  QvReporter::instance().report(eventKey);
}

int openUrl(const std::wstring& address) {
  if (replaced().openUrl) return replaced().openUrl(address);
  return utility::process::openUrl(address);
}

void runPlayerWithPackage() {
  if (replaced().runPlayerWithPackage) return replaced().runPlayerWithPackage();
  DownloaderModel::instance().runPlayerWithPackage();
}

}  // namespace uiactions
