// What the windows do outside themselves on the user's behalf: analytics events (sent at once or
// queued by the model), reporter events and web addresses opened in the browser. Tests replace
// them to see what a flow did without a browser or an analytics client. Main thread only.
#pragma once

#include <functional>
#include <string>

namespace uiactions {

struct Actions {
  std::function<void(const std::wstring& name, const std::wstring& label)> sendUiEvent;
  std::function<void(const std::wstring& name, const std::wstring& label)> reportUiEvent;
  std::function<void(const wchar_t* eventKey)> report;
  std::function<int(const std::wstring& address)> openUrl;
  std::function<void()> runPlayerWithPackage;
};

// Replaces the actions; an empty member keeps the real one. An empty Actions restores them all.
void setForTesting(Actions actions);

// The model's sendUiEvent / reportUiEvent, QvReporter's report, utility::process::openUrl.
void sendUiEvent(const std::wstring& name, const std::wstring& label);
void reportUiEvent(const std::wstring& name, const std::wstring& label);
void report(const wchar_t* eventKey);
int openUrl(const std::wstring& address);
// The model's start of the installed emulator (with the campaign's package).
void runPlayerWithPackage();

}  // namespace uiactions
