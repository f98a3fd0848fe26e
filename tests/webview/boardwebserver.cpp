#include "boardwebserver.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <stdexcept>

TBoardWebServer::TBoardWebServer(const QString& password)
{
    Process.setProgram("python3");
    Process.setArguments({QUORLANE_BOARDWEB, "--password", password, "--log", LogDir.filePath("requests.log")});
    Process.start();
    if (!Process.waitForStarted(10000) || !Process.waitForReadyRead(10000))
        throw std::runtime_error("board web server did not start: " + Process.errorString().toStdString());
    const QString line = QString::fromUtf8(Process.readLine()).trimmed();
    const QRegularExpression form("^board=(\\S+) foreign=(\\S+) proxy=(\\S+)$");
    const auto match = form.match(line);
    if (!match.hasMatch())
        throw std::runtime_error("board web server said: " + line.toStdString());
    Board = match.captured(1);
    Foreign = match.captured(2);
    Proxy = match.captured(3);
}

TBoardWebServer::~TBoardWebServer()
{
    Process.kill();
    Process.waitForFinished(5000);
}

QString TBoardWebServer::BoardAddress() const
{
    return Board;
}

QString TBoardWebServer::ForeignAddress() const
{
    return Foreign;
}

QString TBoardWebServer::ProxyAddress() const
{
    return Proxy;
}

int TBoardWebServer::BoardPort() const
{
    return Board.section(':', -1).toInt();
}

std::vector<TLoggedRequest> TBoardWebServer::Requests(const QString& server, const QString& path) const
{
    return ReadRequestLog(LogDir.filePath("requests.log"), server, path);
}

std::vector<TLoggedRequest> ReadRequestLog(const QString& file, const QString& server, const QString& path)
{
    std::vector<TLoggedRequest> requests;
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly))
        return requests;
    while (!log.atEnd()) {
        const QJsonObject entry = QJsonDocument::fromJson(log.readLine()).object();
        TLoggedRequest request{entry["server"].toString(),
                               entry["method"].toString(),
                               entry["path"].toString(),
                               entry["authorization"].toString(),
                               entry["proxy_authorization"].toString(),
                               entry["authorization"].isString(),
                               entry["proxy_authorization"].isString()};
        if ((server.isEmpty() || request.Server == server) && (path.isEmpty() || request.Path == path))
            requests.push_back(request);
    }
    return requests;
}

QString BasicAuthorization(const QString& user, const QString& password)
{
    return "Basic " + QString::fromLatin1((user + ':' + password).toUtf8().toBase64());
}
