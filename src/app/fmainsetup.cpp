// The Setup page: the board's own web interface, signed in with the board password.
#include "fmain.h"

#include "authcallback.h"
#include "chromium.h"

#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWebEnginePage>

namespace {

// The sign-in user name of the board's web interface.
const QString BoardUser = QStringLiteral("quorl");

} // namespace

void TFMain::BuildSetupPage()
{
    QFont font = this->font();
    font.setPixelSize(16);

    EUrl = new QLineEdit(QStringLiteral("EUrl"), TSSetup);
    EUrl->setObjectName(QStringLiteral("EUrl"));
    EUrl->setGeometry(8, 10, 569, 26);
    EUrl->setReadOnly(true);
    EUrl->setFont(font);
    QPalette colours = EUrl->palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Midlight));
    EUrl->setPalette(colours);

    BRefresh = new QPushButton(QStringLiteral("Refresh"), TSSetup);
    BRefresh->setObjectName(QStringLiteral("BRefresh"));
    BRefresh->setGeometry(588, 8, 129, 27);
    BRefresh->setFont(font);

    // The browser sits below the address row and takes the rest of the page, down to its bottom.
    Chromium = new TChromium(TSSetup);
    Chromium->setObjectName(QStringLiteral("Chromium"));
    auto* layout = new QVBoxLayout(TSSetup);
    layout->setContentsMargins(0, 52, 0, 0);
    layout->addWidget(Chromium);

    QWidget::setTabOrder(BRefresh, Chromium);
    QWidget::setTabOrder(Chromium, EUrl);
}

void TFMain::ShowBoardPage()
{
    EUrl->setText("http://" + QString::fromStdString(Console.BoardIp));
    const QString url = EUrl->text();
    Credentials.SetBoardUrl(url);
    Chromium->OpenUrl(url);
}

void TFMain::BRefreshClick()
{
    if (QWebEnginePage* browser = Chromium->Browser())
        browser->triggerAction(QWebEnginePage::Reload);
}

void TFMain::ChromiumAddressChange(TChromium*, QWebEnginePage*, const TFrame&, const QString& url)
{
    EUrl->setText(url);
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
