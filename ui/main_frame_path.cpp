// UNFINISHED: replaced by the installation-folder work in progress.
#include "ui/main_frame.h"
void CMainFrame::refreshInstallPage() {}
void CMainFrame::onBrowseClick() {}
void CMainFrame::changePathClac(bool, const std::wstring&) {}
void CMainFrame::setInstallPath(const std::wstring&) {}
void CMainFrame::openFolderDialog() {}
void CMainFrame::tidyPath(std::wstring&) {}
std::wstring CMainFrame::slashToBackslash(const std::wstring& path) { return path; }
