#include "chromium.h"

#include "authcallback.h"
#include "chromiumpage.h"
#include "engine.h"

#include <QAuthenticator>
#include <QVBoxLayout>
#include <QWebEngineView>

TChromium::TChromium(QWidget* parent) : QWidget(parent)
{
    StartEngine();
    View = new QWebEngineView(this);
    Page = new TChromiumPage(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(View);
    View->setPage(Page);
    setFocusProxy(View);

    connect(Page, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) { AddressChange(TFrame{true}, url); });
    connect(Page, &TChromiumPage::FrameNavigation, this,
            [this](const QUrl& url) { AddressChange(TFrame{false}, url); });
    connect(Page, &QWebEnginePage::loadStarted, this, &TChromium::LoadStart);
    connect(Page, &QWebEnginePage::authenticationRequired, this, [this](const QUrl& url, QAuthenticator* auth) {
        GetAuthCredentials(false, url.host(), url.port(url.scheme() == "https" ? 443 : 80), auth);
    });
    connect(Page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl&, QAuthenticator* auth, const QString& proxyHost) {
                GetAuthCredentials(true, proxyHost, 0, auth);
            });

    OpenUrl(FDefaultUrl);
}

TChromium::~TChromium()
{
    // No engine call may reach the control once it is going: cut the page's links, stop the load,
    // and end the view before the page it shows.
    Page->disconnect(this);
    Page->triggerAction(QWebEnginePage::Stop);
    delete View;
    delete Page;
}

QString TChromium::DefaultUrl() const
{
    return FDefaultUrl;
}

void TChromium::OpenUrl(const QString& url)
{
    Page->load(QUrl(url));
}

QWebEnginePage* TChromium::Browser() const
{
    return Page;
}

bool TChromium::focusNextPrevChild(bool)
{
    // Tab belongs to the page, which moves between its own fields; the focus never leaves the control.
    return true;
}

void TChromium::AddressChange(const TFrame& frame, const QUrl& url)
{
    if (!OnAddressChange)
        return;
    try {
        OnAddressChange(this, Page, frame, url.toString());
    } catch (...) {
        ReportLater(std::current_exception());
    }
}

void TChromium::GetAuthCredentials(bool isProxy, const QString& host, int port, QAuthenticator* authenticator)
{
    TAuthCallback callback(authenticator);
    bool result = false;
    if (OnGetAuthCredentials) {
        try {
            OnGetAuthCredentials(this, Page, TFrame{true}, isProxy, host, port, authenticator->realm(), QString(),
                                 callback, result);
        } catch (...) {
            result = false;
            ReportLater(std::current_exception());
        }
    }
    // Qt cancels the request when the authenticator comes back null.
    if (!result || !callback.Answered())
        *authenticator = QAuthenticator();
}

void TChromium::LoadStart()
{
    if (!OnLoadStart)
        return;
    try {
        OnLoadStart(this, Page, TFrame{true});
    } catch (...) {
        ReportLater(std::current_exception());
    }
}

// A handler's exception must not unwind through the engine's code. It is raised again from an
// event of its own, where the application's error display shows it.
void TChromium::ReportLater(std::exception_ptr error)
{
    QMetaObject::invokeMethod(
        this, [error] { std::rethrow_exception(error); }, Qt::QueuedConnection);
}
