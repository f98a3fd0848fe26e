#pragma once

#include <QString>

#include <mutex>
#include <set>
#include <tuple>

// Decides which requests for credentials may receive the board's user name and password.
//
// Only the board's own web server gets them: the host, and the port, of the address the Setup page
// loaded; never a proxy, never a page or frame from elsewhere. And only once per server, port and
// realm within one load: the engine asks again for the same realm only when the server refused the
// answer, and answering that again would loop for ever. The engine may ask on any thread.
class TCredentialPolicy
{
public:
    // The board's address as loaded, for example "http://192.168.1.20" or "http://127.0.0.1:8080".
    void SetBoardUrl(const QString& url);
    // A new load of the page begins: earlier refusals are forgotten.
    void BeginLoad();
    // Whether this request may be answered with the board's credentials; a true answer is counted.
    bool MayAnswer(bool isProxy, const QString& host, int port, const QString& realm);

private:
    using TRequestKey = std::tuple<QString, int, QString>;

    std::mutex Lock;
    QString BoardHost;
    int BoardPort = 0;
    std::set<TRequestKey> Answered;
};
