#include "sessionlogentries.h"

#include "httpsend.h"
#include "memo.h"
#include "proxyenvironment.h"
#include "serialport.h"
#include "sessionlog.h"
#include "toolscreen.h"

#include <QComboBox>

using namespace quorlane::net;

void LogMemoLines(TMemo* memo, const char* kind)
{
    // One entry for all the lines, so that a console burst costs one time stamp: the log splits it into its lines.
    QObject::connect(memo, &TMemo::LinesAdded, memo, [kind](const QStringList& lines) {
        if (CurrentSessionLog() != nullptr) {
            LogEntry(kind, lines.join(QLatin1Char('\n')).toStdString());
        }
    });
}

TToolLog::TToolLog(const std::string& command, IConsoleMemo& memo) : FMemo(memo)
{
    LogEntry("tool", "$ " + command);
}

void TToolLog::ShowLines(std::size_t first, std::span<const std::string> lines)
{
    FMemo.ShowLines(first, lines);
    if (first < FLogged) {
        lines = lines.subspan(std::min(FLogged - first, lines.size()));
        first = FLogged;
    }
    FOpen.resize(first - FLogged);
    FOpen.insert(FOpen.end(), lines.begin(), lines.end());
    for (; FOpen.size() > TToolScreen::ChangingLines; ++FLogged) {
        LogEntry("tool", FOpen.front());
        FOpen.pop_front();
    }
}

void TToolLog::ShowProgress(int percent)
{
    FMemo.ShowProgress(percent);
}

void TToolLog::ProcessPendingEvents()
{
    FMemo.ProcessPendingEvents();
}

TToolResult TToolLog::Ended(const TToolResult& result)
{
    for (const std::string& line : FOpen) {
        LogEntry("tool", line);
    }
    FLogged += FOpen.size();
    FOpen.clear();
    switch (result.End) {
    case TToolEnd::Exited:
        LogEntry("tool", "ended with exit status " + std::to_string(result.Status));
        break;
    case TToolEnd::Cancelled:
        LogEntry("tool", "stopped: cancelled");
        break;
    case TToolEnd::TimedOut:
        LogEntry("tool", "stopped: it ran past its time limit");
        break;
    case TToolEnd::NotStarted:
        LogEntry("tool", "could not be started");
        break;
    }
    return result;
}

TRequestLog::TRequestLog(const std::string& method, const std::string& url, const TProxyChoice& proxy)
    : FRequest(method + " " + MaskedPassword(url) + " " + proxy.Description()), FStart(std::chrono::steady_clock::now())
{
}

bool TRequestLog::Ended(const THTTPSend& http, bool received) const
{
    const auto taken =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStart).count();
    const std::string bytes = std::to_string(http.Sock.BytesReceived) + " bytes";
    const std::string time = std::to_string(taken) + " ms";
    if (received) {
        LogEntry("http", FRequest + ": " + std::to_string(http.ResultCode()) + " " + http.ResultString() + ", " +
                             bytes + " in " + time);
    } else {
        LogEntry("http", FRequest + ": failed after " + time + " (" + bytes + " received): " + http.FailureText());
    }
    return received;
}

QStringList PortEntries(const QComboBox* ports)
{
    QStringList entries;
    for (int index = 0; index < ports->count(); ++index) {
        entries.append(ports->itemText(index));
    }
    return entries;
}

void LogPortChanges(const QStringList& before, const QStringList& after)
{
    for (const QString& entry : after) {
        if (!before.contains(entry)) {
            LogEntry("port", "appeared " + entry.toStdString());
        }
    }
    for (const QString& entry : before) {
        if (!after.contains(entry)) {
            LogEntry("port", "vanished " + entry.toStdString());
        }
    }
}

bool OpenPortLogged(TSerialPort& port)
{
    try {
        if (port.OpenPort()) {
            return true;
        }
        LogEntry("port", "refused " + port.Port());
        return false;
    } catch (const std::exception& refusal) {
        LogEntry("port", "refused " + port.Port() + ": " + refusal.what());
        throw;
    }
}
