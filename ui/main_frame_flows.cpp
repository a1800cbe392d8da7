// UNFINISHED: replaced by the close and error flows work in progress.
#include "ui/main_frame.h"
void CMainFrame::onCloseClick() {}
void CMainFrame::onDownloadFail() {}
void CMainFrame::setFinishButtonMode(bool) {}
void CMainFrame::onFinishButtonClick() {}
void CMainFrame::openLicencePage() {}
void CMainFrame::openCommunityPage() {}
void CMainFrame::openHomePage() {}
