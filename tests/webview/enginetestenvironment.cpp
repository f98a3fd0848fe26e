#include "enginetestenvironment.h"

#include "boardwebserver.h"
#include "engine.h"

#include <QNetworkProxy>

namespace {

TBoardWebServer* Proxy = nullptr;

} // namespace

std::unique_ptr<TBoardWebServer> PrepareEngineTests()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking --disable-component-update");

    auto proxy = std::make_unique<TBoardWebServer>(QString());
    Proxy = proxy.get();
    // The engine takes Qt's application proxy when it is set before the first page exists.
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", quint16(proxy->ProxyAddress().section(':', -1).toUInt())));

    StartEngine();
    EnableHighDpi();
    return proxy;
}

TBoardWebServer& TestProxy()
{
    return *Proxy;
}
