#pragma once

#include <QWidget>

#include <exception>
#include <functional>

class QAuthenticator;
class QWebEnginePage;
class QWebEngineView;
class TAuthCallback;
class TChromiumPage;

// The frame an event concerns: the page's main frame or a frame inside the page.
struct TFrame
{
    bool IsMain = true;
};

class TChromium;

using TOnAddressChange =
    std::function<void(TChromium* sender, QWebEnginePage* browser, const TFrame& frame, const QString& url)>;
using TOnGetAuthCredentials = std::function<void(TChromium* sender, QWebEnginePage* browser, const TFrame& frame,
                                                 bool isProxy, const QString& host, int port, const QString& realm,
                                                 const QString& scheme, TAuthCallback& callback, bool& result)>;
using TOnLoadStart = std::function<void(TChromium* sender, QWebEnginePage* browser, const TFrame& frame)>;

// The browser control: one engine page shown across the control's whole area. The page is made
// with the control and loads DefaultUrl at once, so a browser exists before the control is first
// shown. The engine's callbacks become the events below, raised on the main thread.
class TChromium : public QWidget
{
    Q_OBJECT

public:
    explicit TChromium(QWidget* parent = nullptr);
    ~TChromium() override;

    QString DefaultUrl() const;
    // Loads the URL into the main frame, as given, without any test.
    void OpenUrl(const QString& url);
    // The engine page, for the operations called on it directly (reload).
    QWebEnginePage* Browser() const;

    // For every frame whose address changes: the main frame and the frames inside the page.
    TOnAddressChange OnAddressChange;
    // For each request for credentials, from a web server or a proxy. result starts false; the
    // request is answered only when the handler sets it true and called callback.Cont, and is
    // cancelled otherwise. Qt tells neither the frame that asked (frame is the main frame), nor the
    // authentication scheme (scheme stays empty), nor a proxy's port (port is 0 for a proxy).
    TOnGetAuthCredentials OnGetAuthCredentials;
    // When the main frame starts loading a page.
    TOnLoadStart OnLoadStart;

protected:
    bool focusNextPrevChild(bool next) override;

private:
    void AddressChange(const TFrame& frame, const QUrl& url);
    void GetAuthCredentials(bool isProxy, const QString& host, int port, QAuthenticator* authenticator);
    void LoadStart();
    void ReportLater(std::exception_ptr error);

    QString FDefaultUrl = "about:blank";
    QWebEngineView* View;
    TChromiumPage* Page;
};
