// The Setup page in a real window with a real engine, against the board web server on loopback.
#include "authcallback.h"
#include "boardwebserver.h"
#include "chromium.h"
#include "enginetestenvironment.h"
#include "windowfixture.h"

#include <QAuthenticator>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

#include <atomic>
#include <thread>

namespace {

// Bounds the waits for the engine; it measures nothing.
constexpr int EngineWait = 20000;

class SetupPageTest : public WindowTest
{
protected:
    SetupPageTest() : Server("board-secret") {}

    void SetUp() override
    {
        WindowTest::SetUp();
        Chromium = Window->findChild<TChromium*>("Chromium");
        ASSERT_NE(Chromium, nullptr);
        QObject::connect(Chromium->Browser(), &QWebEnginePage::loadingChanged,
                         [this](const QWebEngineLoadingInfo& info) {
                             if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus ||
                                 info.status() == QWebEngineLoadingInfo::LoadFailedStatus)
                                 FinishedUrls.append(info.url().toString());
                         });
        Window->BoardPassword = "board-secret";
        // The default page first: Qt reports the end of a load that replaced a pending one unreliably.
        ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains("about:blank"); }, EngineWait));
    }

    // The board reports its address, as its ACCESS message does.
    void Access(const QString& address)
    {
        Window->HandleBoardMessage("{\"operate\":\"ACCESS\",\"ip\":\"" + address.toStdString() +
                                   "\",\"gate\":\"127.0.0.1\",\"mask\":\"255.0.0.0\"}");
        ASSERT_TRUE(Window->PCMain->IsTabShown(Window->TSSetup));
    }

    QString BoardUrl(const QString& path = "/") const { return "http://" + Server.BoardAddress() + path; }

    // Requests for the path that carried these credentials.
    int RequestsWith(const QString& path, const QString& password) const
    {
        int count = 0;
        for (const auto& request : Server.Requests("board", path))
            count += request.Authorization == BasicAuthorization("quorl", password);
        return count;
    }

    // Clicks the element with this id in the board's page, as the user does.
    void ClickInPage(const QString& id)
    {
        Chromium->Browser()->runJavaScript("document.getElementById('" + id + "').click();");
    }

    // Selects the Setup tab as the user does and waits until the engine has loaded that page.
    bool ShowSetupAndWait(const QString& url)
    {
        FinishedUrls.clear();
        SelectTabByUser(Window->TSSetup);
        return WaitFor([&] { return FinishedUrls.contains(url); }, EngineWait);
    }

    // Clicks a link of the board's page and waits until the engine has loaded where it leads.
    bool FollowAndWait(const QString& id, const QString& url)
    {
        FinishedUrls.clear();
        ClickInPage(id);
        return WaitFor([&] { return FinishedUrls.contains(url); }, EngineWait);
    }

    QString PageText()
    {
        QString text;
        bool done = false;
        Chromium->Browser()->toPlainText([&](const QString& result) {
            text = result;
            done = true;
        });
        WaitFor([&] { return done; }, 10000);
        return text;
    }

    TBoardWebServer Server;
    TChromium* Chromium = nullptr;
    // The address of each page whose load ended, in order.
    QStringList FinishedUrls;
    // The board simulator of the test that runs one; it ends after the window, so that the window's serial port
    // never loses its device while open.
    QTemporaryDir SimulatorDir;
    QProcess Simulator;
};

} // namespace

TEST_F(SetupPageTest, BrowserHasLoadedTheBlankPageBeforeSetupIsShown)
{
    ASSERT_NE(Chromium->Browser(), nullptr);
    EXPECT_EQ(Chromium->Browser()->requestedUrl(), QUrl("about:blank"));
    EXPECT_FALSE(Window->PCMain->IsTabShown(Window->TSSetup));
    EXPECT_EQ(Window->EUrl->text(), "about:blank");
}

TEST_F(SetupPageTest, PageControlsSitWhereTheWindowPutsThem)
{
    EXPECT_TRUE(Window->EUrl->isReadOnly());
    Access(Server.BoardAddress());
    SelectTabByUser(Window->TSSetup);
    ASSERT_TRUE(WaitFor([&] { return Chromium->isVisible(); }, EngineWait));
    // The address row in the window's own font, its buttons in one row beside the address and within the page.
    for (QWidget* control : QList<QWidget*>{Window->EUrl, Window->BBack, Window->BHome, Window->BRefresh}) {
        EXPECT_EQ(control->font(), Window->font()) << control->objectName().toStdString();
        EXPECT_LE(control->geometry().right(), Window->TSSetup->width()) << control->objectName().toStdString();
    }
    EXPECT_LT(Window->EUrl->geometry().right(), Window->BBack->x());
    EXPECT_LT(Window->BBack->geometry().right(), Window->BHome->x());
    EXPECT_LT(Window->BHome->geometry().right(), Window->BRefresh->x());
    EXPECT_EQ(Chromium->y(), 52);
    EXPECT_EQ(Chromium->width(), Window->TSSetup->width());
    EXPECT_EQ(Chromium->geometry().bottom(), Window->TSSetup->rect().bottom());
}

TEST_F(SetupPageTest, SelectingSetupLoadsTheBoardSignedIn)
{
    Access(Server.BoardAddress());
    SelectTabByUser(Window->TSSetup);
    EXPECT_EQ(Window->EUrl->text(), "http://" + Server.BoardAddress());
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/")); }, EngineWait));
    EXPECT_EQ(RequestsWith("/", "board-secret"), 1);
    EXPECT_EQ(Window->EUrl->text(), BoardUrl("/"));
    EXPECT_TRUE(PageText().contains("Signed in to the board."));
}

TEST_F(SetupPageTest, SelectingSetupAgainLoadsAgain)
{
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    SelectTabByUser(Window->TSAccess);
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    EXPECT_EQ(RequestsWith("/", "board-secret"), 2);
}

TEST_F(SetupPageTest, RefreshReloadsThePageReachedByALink)
{
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    ASSERT_TRUE(FollowAndWait("status", BoardUrl("/status")));
    EXPECT_EQ(Window->EUrl->text(), BoardUrl("/status"));
    FinishedUrls.clear();
    Click(Window->BRefresh);
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/status")); }, EngineWait));
    EXPECT_EQ(RequestsWith("/status", "board-secret"), 2);
    EXPECT_EQ(RequestsWith("/", "board-secret"), 1);
}

TEST_F(SetupPageTest, BackAndHomeLeadAwayFromAPageReachedByALink)
{
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    // Opened as the user would; a link clicked by a script would not count for the engine's history.
    FinishedUrls.clear();
    Chromium->OpenUrl(BoardUrl("/status"));
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/status")); }, EngineWait));
    ASSERT_TRUE(Window->BBack->isEnabled());

    FinishedUrls.clear();
    Click(Window->BBack);
    // The next load must not replace this one while it is pending (see SetUp).
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/")); }, EngineWait));
    EXPECT_EQ(Window->EUrl->text(), BoardUrl("/"));

    FinishedUrls.clear();
    Chromium->OpenUrl(BoardUrl("/status"));
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/status")); }, EngineWait));
    FinishedUrls.clear();
    Click(Window->BHome);
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/")); }, EngineWait));
    EXPECT_EQ(Window->EUrl->text(), BoardUrl("/"));
    EXPECT_TRUE(PageText().contains("Signed in to the board."));
}

TEST_F(SetupPageTest, FrameNavigationShowsInTheAddress)
{
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    ClickInPage("frames");
    EXPECT_TRUE(WaitFor([&] { return Window->EUrl->text() == BoardUrl("/frame/second"); }, EngineWait));
    EXPECT_TRUE(WaitFor([&] { return RequestsWith("/frame/second", "board-secret") == 1; }, EngineWait));
}

TEST_F(SetupPageTest, EmptyBoardPasswordStillSendsTheUser)
{
    TBoardWebServer openBoard{QString()};
    Window->BoardPassword.clear();
    Access(openBoard.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait("http://" + openBoard.BoardAddress() + "/"));
    const auto requests = openBoard.Requests("board", "/");
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().Authorization, BasicAuthorization("quorl", ""));
    EXPECT_TRUE(PageText().contains("Signed in to the board."));
}

TEST_F(SetupPageTest, WrongPasswordEndsInTheBoardsRefusal)
{
    Window->BoardPassword = "wrong";
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    EXPECT_TRUE(PageText().contains("The board refused the sign-in."));
    QTest::qWait(300);
    // One request without credentials, one with the rejected ones, and no more.
    EXPECT_EQ(Server.Requests("board", "/").size(), 2u);
    EXPECT_EQ(RequestsWith("/", "wrong"), 1);

    FinishedUrls.clear();
    Click(Window->BRefresh);
    ASSERT_TRUE(WaitFor([&] { return FinishedUrls.contains(BoardUrl("/")); }, EngineWait));
    QTest::qWait(300);
    EXPECT_EQ(RequestsWith("/", "wrong"), 2);
}

TEST_F(SetupPageTest, PageElsewhereReceivesNoCredentials)
{
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    const QString elsewhere = "http://" + Server.ForeignAddress() + "/private";
    ASSERT_TRUE(FollowAndWait("foreign", elsewhere));
    EXPECT_EQ(Window->EUrl->text(), elsewhere);
    const auto requests = Server.Requests("foreign", "/private");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].HasAuthorization);
}

TEST_F(SetupPageTest, ProxyReceivesNoCredentialsEvenForTheBoardsAddress)
{
    const auto before = TestProxy().Requests("proxy").size();
    Access("board.proxied.test");
    ASSERT_TRUE(ShowSetupAndWait("http://board.proxied.test/"));
    const auto requests = TestProxy().Requests("proxy");
    ASSERT_GT(requests.size(), before);
    for (auto request = requests.begin() + before; request != requests.end(); ++request)
        EXPECT_FALSE(request->HasProxyAuthorization) << request->Path.toStdString();
}

TEST_F(SetupPageTest, NoAddressHandsOverTheSchemeAloneAndAnswersNobody)
{
    Access(Server.BoardAddress());
    Window->Console.BoardIp.clear();
    SelectTabByUser(Window->TSSetup);
    EXPECT_EQ(Window->EUrl->text(), "http://");
    QAuthenticator authenticator;
    TAuthCallback callback(&authenticator);
    bool result = false;
    Window->ChromiumGetAuthCredentials(Chromium, Chromium->Browser(), TFrame{}, false, "", 80, "Quorlane board", "",
                                       callback, result);
    EXPECT_FALSE(result);
    EXPECT_FALSE(callback.Answered());
}

TEST_F(SetupPageTest, RequestOnAnotherThreadReadsThePasswordWhole)
{
    Access(Server.BoardAddress());
    SelectTabByUser(Window->TSSetup);
    Window->BoardPassword = "from-the-main-thread";
    QAuthenticator authenticator;
    TAuthCallback callback(&authenticator);
    bool result = false;
    std::atomic<bool> finished{false};
    std::thread engineThread([&] {
        Window->ChromiumGetAuthCredentials(Chromium, Chromium->Browser(), TFrame{}, false, "127.0.0.1",
                                           Server.BoardPort(), "Quorlane board", "", callback, result);
        finished = true;
    });
    const bool answered = WaitFor([&] { return finished.load(); }, EngineWait);
    engineThread.join();
    ASSERT_TRUE(answered);
    EXPECT_TRUE(result);
    EXPECT_EQ(authenticator.user(), "quorl");
    EXPECT_EQ(authenticator.password(), "from-the-main-thread");
}

// An "ip" with a user part made the page open the host after the '@' and sign in there with the board password. It
// is refused: the panel says so and the Setup tab goes; Home, given the text all the same, builds no address from
// it; and the other host, which answers whoever comes, sees nobody while the board's own page still loads.
TEST_F(SetupPageTest, AddressWithAUserPartIsRefusedAndNothingReachesTheOtherHost)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress("127.0.0.2"), 0)) << other.errorString().toStdString();
    int visits = 0;
    QObject::connect(&other, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* visitor = other.nextPendingConnection()) {
            ++visits;
            visitor->write("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nother");
            visitor->disconnectFromHost();
            QObject::connect(visitor, &QTcpSocket::disconnected, visitor, &QObject::deleteLater);
        }
    });
    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));

    const QString reported = "127.0.0.1@127.0.0.2:" + QString::number(other.serverPort());
    Window->HandleBoardMessage("{\"operate\":\"ACCESS\",\"ip\":\"" + reported.toStdString() +
                               "\",\"gate\":\"127.0.0.1\",\"mask\":\"255.0.0.0\"}");
    EXPECT_EQ(Window->PAccess->text(), "The board reported an address that is not one: \"" + reported + "\"");
    EXPECT_FALSE(Window->PCMain->IsTabShown(Window->TSSetup));
    EXPECT_NE(Window->PCMain->currentWidget(), Window->TSSetup);

    Window->Console.BoardIp = reported.toStdString();
    Click(Window->BHome);
    EXPECT_EQ(Window->EUrl->text(), "http://");

    Access(Server.BoardAddress());
    ASSERT_TRUE(ShowSetupAndWait(BoardUrl("/")));
    EXPECT_EQ(visits, 0);
}

// The road a user walks with the board simulator: connect, INIT, a new board password saved, ACCESS with the
// board's web address, and the Setup page signed in with the saved password.
TEST_F(SetupPageTest, SimulatedBoardIsSignedInWithTheSavedPassword)
{
    Simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Simulator.start("python3", {QUORLANE_BOARDSIM, "--web", "--web-log", SimulatorDir.filePath("web.log")});
    ASSERT_TRUE(Simulator.waitForReadyRead(10000)) << Simulator.errorString().toStdString();
    const std::string port = Simulator.readLine().trimmed().toStdString();
    OfferPorts({port});
    Click(Window->BComRefresh);
    SelectPort(port);
    Click(Window->BComConn);
    ASSERT_TRUE(WaitFor([&] { return Window->BAccessSave->isEnabled(); }, EngineWait))
        << Window->PComState->text().toStdString() << ": " << EchoLines().join('|').toStdString();
    EXPECT_EQ(Window->BoardPassword, "admin");
    Window->EBoardPass->setText("s3cret");
    Click(Window->BAccessSave);
    ASSERT_TRUE(WaitFor([&] { return Window->PCMain->IsTabShown(Window->TSSetup); }, EngineWait));
    const QString board = "http://" + QString::fromStdString(Window->Console.BoardIp) + "/";
    EXPECT_TRUE(board.startsWith("http://127.0.0.1:"));
    ASSERT_TRUE(ShowSetupAndWait(board)) << Window->EUrl->text().toStdString() << " after "
                                         << FinishedUrls.join(' ').toStdString();
    int signedIn = 0;
    for (const auto& request : ReadRequestLog(SimulatorDir.filePath("web.log"), "board", "/"))
        signedIn += request.Authorization == BasicAuthorization("quorl", "s3cret");
    EXPECT_EQ(signedIn, 1);
    EXPECT_TRUE(PageText().contains("Signed in to the board."));
}
