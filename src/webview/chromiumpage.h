#pragma once

#include <QWebEnginePage>

// The control's page. Qt reports address changes of the main frame only; the navigations of the
// frames inside the page are seen here, where Qt asks whether a navigation may go ahead.
class TChromiumPage : public QWebEnginePage
{
    Q_OBJECT

public:
    using QWebEnginePage::QWebEnginePage;

signals:
    void FrameNavigation(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};
