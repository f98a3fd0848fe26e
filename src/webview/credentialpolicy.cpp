#include "credentialpolicy.h"

#include <QUrl>

void TCredentialPolicy::SetBoardUrl(const QString& url)
{
    const QUrl board(url);
    std::lock_guard guard(Lock);
    BoardHost = board.host();
    BoardPort = board.port(80);
    Answered.clear();
}

void TCredentialPolicy::BeginLoad()
{
    std::lock_guard guard(Lock);
    Answered.clear();
}

bool TCredentialPolicy::MayAnswer(bool isProxy, const QString& host, int port, const QString& realm)
{
    std::lock_guard guard(Lock);
    if (isProxy || BoardHost.isEmpty())
        return false;
    if (host.compare(BoardHost, Qt::CaseInsensitive) != 0 || port != BoardPort)
        return false;
    return Answered.emplace(host.toLower(), port, realm).second;
}
