// UNFINISHED: replaced by the progress work in progress.
#include "ui/main_frame.h"
void CMainFrame::onDownloadProgress(int, int, int) {}
void CMainFrame::onCurlProgress(int) {}
void CMainFrame::onDownloadSuccess() {}
void CMainFrame::onInstallTick() {}
bool CMainFrame::onHttpProgress(const char*, int, int64_t, int64_t) { return true; }
void CMainFrame::showApkProgress(int64_t, int64_t) {}
void CMainFrame::showApkInstalling() {}
void CMainFrame::onApkInstallTick() {}
int CMainFrame::apkInstallStep() { return 0; }
