#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <vector>

// One request as the board web server logged it.
struct TLoggedRequest
{
    QString Server; // "board", "foreign" or "proxy"
    QString Method;
    QString Path;
    QString Authorization;
    QString ProxyAuthorization;
    bool HasAuthorization = false;
    bool HasProxyAuthorization = false;
};

// tools/boardsim/boardweb.py as a child process on free loopback ports, stopped by its process id.
class TBoardWebServer
{
public:
    explicit TBoardWebServer(const QString& password);
    ~TBoardWebServer();

    QString BoardAddress() const;   // "127.0.0.1:PORT"
    QString ForeignAddress() const; // "127.0.0.1:PORT"
    QString ProxyAddress() const;   // "127.0.0.1:PORT"
    int BoardPort() const;

    // Every request logged so far, optionally only those to one server and one path.
    std::vector<TLoggedRequest> Requests(const QString& server = {}, const QString& path = {}) const;

private:
    QTemporaryDir LogDir;
    QProcess Process;
    QString Board;
    QString Foreign;
    QString Proxy;
};

// The requests logged in this file (the server's --log), optionally only those to one server and one path.
std::vector<TLoggedRequest> ReadRequestLog(const QString& file, const QString& server = {}, const QString& path = {});

// The Basic credentials a browser sends for this user and password.
QString BasicAuthorization(const QString& user, const QString& password);
