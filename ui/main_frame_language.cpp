// UNFINISHED: replaced by the language work in progress.
#include "ui/main_frame.h"
void CMainFrame::onLanguageComSelected(toolkit::Control&) {}
void CMainFrame::retextControls() {}
std::wstring CMainFrame::loadLicenseText() { return {}; }
