// The Setup page: the board's own web interface, signed in with the board password.
#include "fmain.h"

#include "authcallback.h"
#include "boardaddress.h"
#include "chromium.h"

#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEnginePage>

namespace {

// The sign-in user name of the board's web interface.
const QString BoardUser = QStringLiteral("quorl");

} // namespace

void TFMain::BuildSetupPage()
{
    EUrl = new QLineEdit(QStringLiteral("EUrl"), TSSetup);
    EUrl->setObjectName(QStringLiteral("EUrl"));
    EUrl->setAccessibleName(QStringLiteral("Board page address"));
    EUrl->setGeometry(8, 10, 449, 26);
    EUrl->setReadOnly(true);
    QPalette colours = EUrl->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Midlight));
    EUrl->setPalette(colours);

    // Back and Home give the user a way out of wherever a link took them: the engine's history, the board's page.
    const auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* created = new QPushButton(caption, TSSetup);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(geometry);
        return created;
    };
    BBack = button("BBack", QStringLiteral("Back"), {464, 8, 72, 27});
    BBack->setEnabled(false);
    BHome = button("BHome", QStringLiteral("Home"), {542, 8, 72, 27});
    BRefresh = button("BRefresh", QStringLiteral("Refresh"), {620, 8, 97, 27});

    // The browser sits below the address row and takes the rest of the page, down to its bottom.
    Chromium = new TChromium(TSSetup);
    Chromium->setObjectName(QStringLiteral("Chromium"));
    Chromium->setAccessibleName(QStringLiteral("Board page"));
    auto* layout = new QVBoxLayout(TSSetup);
    layout->setContentsMargins(0, 52, 0, 0);
    layout->addWidget(Chromium);

    QWidget::setTabOrder(BBack, BHome);
    QWidget::setTabOrder(BHome, BRefresh);
    QWidget::setTabOrder(BRefresh, Chromium);
    QWidget::setTabOrder(Chromium, EUrl);
}

// The page's address is built from the parts of the board's address, never by joining text, so nothing the board
// reports can name another host. Without an address (none reported, or emptied by REBOOT) only the scheme is handed
// over, and the browser shows its own error.
void TFMain::ShowBoardPage()
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral(""));
    if (const std::optional<TBoardAddress> address = ParseBoardAddress(Console.BoardIp)) {
        url.setHost(QString::fromStdString(address->Host));
        if (address->Port != 0) {
            url.setPort(address->Port);
        }
    }
    const QString page = url.toString();
    EUrl->setText(page);
    Credentials.SetBoardUrl(page);
    Chromium->OpenUrl(page);
}

void TFMain::BBackClick()
{
    if (QWebEnginePage* browser = Chromium->Browser())
        browser->triggerAction(QWebEnginePage::Back);
}

void TFMain::BHomeClick()
{
    ShowBoardPage();
}

void TFMain::BRefreshClick()
{
    if (QWebEnginePage* browser = Chromium->Browser())
        browser->triggerAction(QWebEnginePage::Reload);
}

void TFMain::ChromiumAddressChange(TChromium*, QWebEnginePage* browser, const TFrame&, const QString& url)
{
    EUrl->setText(url);
    BBack->setEnabled(browser != nullptr && browser->history()->canGoBack());
}

void TFMain::ChromiumLoadStart(TChromium*, QWebEnginePage*, const TFrame&)
{
    Credentials.BeginLoad();
}

void TFMain::ChromiumGetAuthCredentials(TChromium*, QWebEnginePage*, const TFrame&, bool isProxy, const QString& host,
                                        int port, const QString& realm, const QString&, TAuthCallback& callback,
                                        bool& result)
{
    if (!Credentials.MayAnswer(isProxy, host, port, realm))
        return;
    callback.Cont(BoardUser, QString::fromStdString(BoardPasswordNow()));
    result = true;
}

// The main thread replaces BoardPassword; a request that comes on another thread reads it there.
std::string TFMain::BoardPasswordNow()
{
    if (QThread::currentThread() == thread())
        return BoardPassword;
    std::string password;
    QMetaObject::invokeMethod(
        this, [this, &password] { password = BoardPassword; }, Qt::BlockingQueuedConnection);
    return password;
}
