// The browser control against a real engine and the board web server on loopback.
#include "authcallback.h"
#include "boardwebserver.h"
#include "chromium.h"
#include "enginetestenvironment.h"
#include "waituntil.h"
#include "webenginetestmain.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct TAddressEvent
{
    bool IsMain;
    QString Url;
};

struct TAuthEvent
{
    bool IsProxy;
    QString Host;
    int Port;
    QString Realm;
};

class ChromiumTest : public testing::Test
{
protected:
    ChromiumTest() : Server("board-secret"), Window(new QWidget), Edit(new QLineEdit), Chromium(new TChromium)
    {
        auto* layout = new QVBoxLayout(Window.get());
        layout->addWidget(Edit);
        layout->addWidget(Chromium);
        Window->resize(640, 480);
        Window->show();
        Chromium->OnAddressChange = [this](TChromium* sender, QWebEnginePage* browser, const TFrame& frame,
                                           const QString& url) {
            EXPECT_EQ(sender, Chromium);
            EXPECT_EQ(browser, Chromium->Browser());
            Addresses.push_back({frame.IsMain, url});
        };
        QObject::connect(Chromium->Browser(), &QWebEnginePage::loadFinished, [this](bool) { ++LoadsFinished; });
        // The default page first, so that its end is not taken for the end of a test's load.
        EXPECT_TRUE(WaitUntil([this] { return LoadsFinished == 1; }));
    }

    // Answers the board's requests with these credentials, recording every request.
    void AnswerWith(const QString& user, const QString& password)
    {
        Chromium->OnGetAuthCredentials = [this, user, password](TChromium*, QWebEnginePage*, const TFrame&,
                                                                bool isProxy, const QString& host, int port,
                                                                const QString& realm, const QString&,
                                                                TAuthCallback& callback, bool& result) {
            AuthRequests.push_back({isProxy, host, port, realm});
            if (isProxy)
                return;
            callback.Cont(user, password);
            result = true;
        };
    }

    QString BoardUrl(const QString& path = "/") const { return "http://" + Server.BoardAddress() + path; }

    // Opens the URL and waits until the engine has finished loading it.
    bool Load(const QString& url)
    {
        const int before = LoadsFinished;
        Chromium->OpenUrl(url);
        return WaitUntil([&] { return LoadsFinished > before; });
    }

    bool SawAddress(bool isMain, const QString& url) const
    {
        for (const auto& event : Addresses)
            if (event.IsMain == isMain && event.Url == url)
                return true;
        return false;
    }

    int SignedInRequests(const QString& path) const
    {
        int count = 0;
        for (const auto& request : Server.Requests("board", path))
            count += request.HasAuthorization;
        return count;
    }

    QString PageText()
    {
        QString text;
        bool done = false;
        Chromium->Browser()->toPlainText([&](const QString& result) {
            text = result;
            done = true;
        });
        WaitUntil([&] { return done; });
        return text;
    }

    TBoardWebServer Server;
    std::unique_ptr<QWidget> Window;
    QLineEdit* Edit;
    TChromium* Chromium;
    std::vector<TAddressEvent> Addresses;
    std::vector<TAuthEvent> AuthRequests;
    int LoadsFinished = 0;
};

} // namespace

TEST_F(ChromiumTest, NewControlHasBrowserLoadingTheDefaultPage)
{
    EXPECT_EQ(Chromium->DefaultUrl(), "about:blank");
    ASSERT_NE(Chromium->Browser(), nullptr);
    EXPECT_EQ(Chromium->Browser()->requestedUrl(), QUrl("about:blank"));
    EXPECT_TRUE(WaitUntil([&] { return SawAddress(true, "about:blank"); }));
}

TEST_F(ChromiumTest, BoardRequestForCredentialsCarriesItsServer)
{
    AnswerWith("quorl", "board-secret");
    ASSERT_TRUE(Load(BoardUrl()));
    ASSERT_EQ(AuthRequests.size(), 1u);
    EXPECT_FALSE(AuthRequests[0].IsProxy);
    EXPECT_EQ(AuthRequests[0].Host, "127.0.0.1");
    EXPECT_EQ(AuthRequests[0].Port, Server.BoardPort());
    EXPECT_EQ(AuthRequests[0].Realm, "Quorlane board");
}

TEST_F(ChromiumTest, AnsweredRequestSignsInAndReportsTheAddress)
{
    AnswerWith("quorl", "board-secret");
    ASSERT_TRUE(Load(BoardUrl()));
    const auto signedIn = Server.Requests("board", "/");
    ASSERT_FALSE(signedIn.empty());
    EXPECT_EQ(signedIn.back().Authorization, BasicAuthorization("quorl", "board-secret"));
    EXPECT_TRUE(PageText().contains("Signed in to the board."));
    EXPECT_TRUE(SawAddress(true, BoardUrl()));
}

TEST_F(ChromiumTest, RequestWithoutHandlerIsCancelled)
{
    ASSERT_TRUE(Load(BoardUrl()));
    const auto requests = Server.Requests("board", "/");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].HasAuthorization);
    EXPECT_TRUE(PageText().contains("The board refused the sign-in."));
}

TEST_F(ChromiumTest, ResultFalseCancelsEvenAfterCont)
{
    Chromium->OnGetAuthCredentials = [](TChromium*, QWebEnginePage*, const TFrame&, bool, const QString&, int,
                                        const QString&, const QString&, TAuthCallback& callback,
                                        bool&) { callback.Cont("quorl", "board-secret"); };
    ASSERT_TRUE(Load(BoardUrl()));
    for (const auto& request : Server.Requests("board"))
        EXPECT_FALSE(request.HasAuthorization) << request.Path.toStdString();
}

TEST_F(ChromiumTest, ResultTrueWithoutContCancels)
{
    Chromium->OnGetAuthCredentials = [](TChromium*, QWebEnginePage*, const TFrame&, bool, const QString&, int,
                                        const QString&, const QString&, TAuthCallback&,
                                        bool& result) { result = true; };
    ASSERT_TRUE(Load(BoardUrl()));
    const auto requests = Server.Requests("board", "/");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].HasAuthorization);
}

TEST_F(ChromiumTest, FrameNavigationInsideThePageIsReported)
{
    AnswerWith("quorl", "board-secret");
    ASSERT_TRUE(Load(BoardUrl("/frames")));
    EXPECT_TRUE(WaitUntil([&] { return SawAddress(false, BoardUrl("/frame/second")); }));
    EXPECT_TRUE(SawAddress(true, BoardUrl("/frames")));
}

TEST_F(ChromiumTest, ProxyRequestIsRaisedAsProxyAndGetsNothing)
{
    AnswerWith("quorl", "board-secret");
    ASSERT_TRUE(Load("http://proxied.test/"));
    ASSERT_FALSE(AuthRequests.empty());
    EXPECT_TRUE(AuthRequests[0].IsProxy);
    EXPECT_EQ(AuthRequests[0].Host, "127.0.0.1");
    EXPECT_EQ(AuthRequests[0].Port, 0);
    EXPECT_EQ(AuthRequests[0].Realm, "Proxy");
    const auto proxied = TestProxy().Requests("proxy", "http://proxied.test/");
    ASSERT_FALSE(proxied.empty());
    for (const auto& request : proxied)
        EXPECT_FALSE(request.HasProxyAuthorization);
}

TEST_F(ChromiumTest, ReloadLoadsTheShowingPageAgain)
{
    AnswerWith("quorl", "board-secret");
    ASSERT_TRUE(Load(BoardUrl("/status")));
    ASSERT_EQ(SignedInRequests("/status"), 1);
    const int before = LoadsFinished;
    Chromium->Browser()->triggerAction(QWebEnginePage::Reload);
    ASSERT_TRUE(WaitUntil([&] { return LoadsFinished > before; }));
    EXPECT_EQ(SignedInRequests("/status"), 2);
}

TEST_F(ChromiumTest, BrowserFillsTheWholeControl)
{
    Window->resize(500, 700);
    ASSERT_TRUE(WaitUntil([&] { return Chromium->height() > 600; }));
    auto* view = Chromium->findChild<QWebEngineView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->geometry(), Chromium->rect());
}

TEST_F(ChromiumTest, TabKeepsTheFocusInsideTheControl)
{
    AnswerWith("quorl", "board-secret");
    ASSERT_TRUE(Load(BoardUrl()));
    Chromium->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return Chromium->isAncestorOf(QApplication::focusWidget()); }));
    // More presses than the page has links, so the page's own focus cycle ends at least once.
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::qWait(50);
        ASSERT_TRUE(Chromium->isAncestorOf(QApplication::focusWidget())) << "after Tab " << i + 1;
    }
    EXPECT_FALSE(Edit->hasFocus());
}

TEST_F(ChromiumTest, HandlerErrorReachesTheApplicationNotTheEngine)
{
    TestApp().LastError.clear();
    Chromium->OnAddressChange = [](TChromium*, QWebEnginePage*, const TFrame&, const QString&) {
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(Load(BoardUrl("/")));
    EXPECT_TRUE(WaitUntil([&] { return TestApp().LastError == "handler failed"; }));
}

TEST_F(ChromiumTest, HandlerErrorCancelsTheCredentialRequest)
{
    Chromium->OnGetAuthCredentials = [](TChromium*, QWebEnginePage*, const TFrame&, bool, const QString&, int,
                                        const QString&, const QString&, TAuthCallback& callback, bool& result) {
        callback.Cont("quorl", "board-secret");
        result = true;
        throw std::runtime_error("credentials failed");
    };
    ASSERT_TRUE(Load(BoardUrl()));
    for (const auto& request : Server.Requests("board"))
        EXPECT_FALSE(request.HasAuthorization) << request.Path.toStdString();
    EXPECT_TRUE(WaitUntil([&] { return TestApp().LastError == "credentials failed"; }));
}

TEST_F(ChromiumTest, DestroyedControlReceivesNoFurtherEvents)
{
    AnswerWith("quorl", "board-secret");
    Chromium->OpenUrl(BoardUrl("/frames"));
    const auto seen = Addresses.size();
    delete Chromium;
    Chromium = nullptr;
    QTest::qWait(500);
    EXPECT_EQ(Addresses.size(), seen);
}
