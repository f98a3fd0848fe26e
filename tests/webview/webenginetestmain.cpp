// Entry point of the engine test programs: an offscreen window system, the GPU off, all traffic
// for host names sent to a loopback proxy, then the engine and the application object, as the
// program starts them.
#include "webenginetestmain.h"

#include "boardwebserver.h"
#include "engine.h"

#include <QNetworkProxy>

#include <gtest/gtest.h>

namespace {

TTestApplication* App = nullptr;
TBoardWebServer* Proxy = nullptr;

} // namespace

bool TTestApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        LastError = QString::fromUtf8(error.what());
    }
    return false;
}

TTestApplication& TestApp()
{
    return *App;
}

TBoardWebServer& TestProxy()
{
    return *Proxy;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking --disable-component-update");

    TBoardWebServer proxy{QString()};
    Proxy = &proxy;

    // The engine takes Qt's application proxy when it is set before the first page exists. Loopback
    // addresses bypass it; host names go to it and are never resolved here.
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", quint16(proxy.ProxyAddress().section(':', -1).toUInt())));

    StartEngine();
    EnableHighDpi();
    TTestApplication app(argc, argv);
    App = &app;
    const int result = RUN_ALL_TESTS();
    App = nullptr;
    return result;
}
