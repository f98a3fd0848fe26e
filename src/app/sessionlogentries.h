#pragma once

#include "consolememo.h"
#include "consoletoolrunner.h"

#include <QStringList>

#include <chrono>
#include <deque>
#include <string>

class QComboBox;
class TMemo;
class TSerialPort;

namespace quorlane::net {
class THTTPSend;
struct TProxyChoice;
} // namespace quorlane::net

// What the window notes in the session log (sessionlog.h), one helper per kind of entry, each called from the place
// where the thing happens. Entry kinds: console and firmware (the lines of MComEcho and MFirmware), tool, http, port,
// error.

// Every line added to the memo goes into the log as an entry of the given kind, as the memo shows it (the board
// console has already masked its passwords).
void LogMemoLines(TMemo* memo, const char* kind);

// Passes a console tool's output on to the memo that shows it and notes the run in the log: its command line, then
// each line once it can no longer change, so that a progress line that later steps replace in place is noted once,
// as it read last; then how the run ended.
class TToolLog : public IConsoleMemo
{
public:
    TToolLog(const std::string& command, IConsoleMemo& memo);

    void ShowLines(std::size_t first, std::span<const std::string> lines) override;
    void ShowProgress(int percent) override;
    void ProcessPendingEvents() override;

    // Notes the lines still open and how the run ended; returns result.
    TToolResult Ended(const TToolResult& result);

private:
    IConsoleMemo& FMemo;
    // The run's lines from FLogged on, which may still change.
    std::deque<std::string> FOpen;
    std::size_t FLogged = 0;
};

// One HTTP request of the Firmware page: made just before the request, it notes the time; Ended logs its address
// (a password in it masked), the proxy or "direct", and either the status, the bytes received and the time taken,
// or the failure.
class TRequestLog
{
public:
    TRequestLog(const std::string& method, const std::string& url, const quorlane::net::TProxyChoice& proxy);

    // The request has ended as received says, the client tells the rest; returns received.
    bool Ended(const quorlane::net::THTTPSend& http, bool received) const;

private:
    std::string FRequest;
    std::chrono::steady_clock::time_point FStart;
};

// The port list's entries, to compare before and after it is filled again.
QStringList PortEntries(const QComboBox* ports);
// Notes each port that appeared in the list and each that vanished from it.
void LogPortChanges(const QStringList& before, const QStringList& after);
// Opens the port; one that refuses (an exception or a false result) is noted with why before the caller goes on.
bool OpenPortLogged(TSerialPort& port);
