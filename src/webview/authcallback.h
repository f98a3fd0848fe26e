#pragma once

#include <QString>

class QAuthenticator;

// The answer to one request for credentials, handed to the OnGetAuthCredentials handler.
// Qt WebEngine takes the answer when the handler returns, so Cont only counts while the handler
// runs; the control then sends the credentials, or cancels the request when none were given.
class TAuthCallback
{
public:
    explicit TAuthCallback(QAuthenticator* authenticator);

    // Answers the request with these credentials.
    void Cont(const QString& user, const QString& password);
    bool Answered() const;

private:
    QAuthenticator* Authenticator;
    bool HasAnswer = false;
};
