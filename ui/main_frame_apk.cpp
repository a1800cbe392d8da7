// UNFINISHED: replaced by the app-package work in progress.
#include "ui/main_frame.h"
void CMainFrame::dispatchApps() {}
void CMainFrame::startApkDownload() {}
void CMainFrame::_threadDownloadApk() {}
void CMainFrame::setResolution(const std::wstring&, const std::wstring&) {}
void CMainFrame::launchWithPackage(const std::wstring&) {}
