#include "chromiumpage.h"

bool TChromiumPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    // Every navigation goes ahead, so a frame's requested address is its new address.
    if (!isMainFrame)
        emit FrameNavigation(url);
    return true;
}
