#include "authcallback.h"

#include <QAuthenticator>

TAuthCallback::TAuthCallback(QAuthenticator* authenticator) : Authenticator(authenticator) {}

void TAuthCallback::Cont(const QString& user, const QString& password)
{
    Authenticator->setUser(user);
    Authenticator->setPassword(password);
    HasAnswer = true;
}

bool TAuthCallback::Answered() const
{
    return HasAnswer;
}
