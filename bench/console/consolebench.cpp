// Console throughput: 100,000 board console lines pushed through a real pseudo-terminal into the window's serial
// port, its received-characters handler and the console memo, as fast as the pseudo-terminal delivers them. Prints
// lines per second, the longest stall of the window's event loop, whether every line arrived (count and checksum
// of the lines the memo was handed), and the same figures for a bare QPlainTextEdit fed the same lines in the same
// event sizes with the same 2000-line cap and scroll. The window writes its session log meanwhile, as the program
// does, into a temporary directory.

#include "application.h"
#include "fmain.h"
#include "memo.h"
#include "sessionlog.h"
#include "stallmeter.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int LineCount = 100000;
constexpr int MarkerEvery = 500;
constexpr int MemoCap = 2000;

struct TTally
{
    std::uint64_t Lines = 0;
    std::uint64_t Checksum = 1469598103934665603ULL;

    void Add(const QString& line)
    {
        for (const char byte : line.toUtf8()) {
            Checksum = (Checksum ^ static_cast<unsigned char>(byte)) * 1099511628211ULL;
        }
        Checksum = (Checksum ^ '\n') * 1099511628211ULL;
        ++Lines;
    }
};

// The board's console: the start marker, then 64-byte lines with a JSON marker line among every MarkerEvery.
std::string ConsoleStream(TTally& expected)
{
    std::string stream = "QUORLANE_START\r\n";
    expected.Add("QUORLANE_START");
    for (int number = 1; number < LineCount; ++number) {
        char line[80];
        if (number % MarkerEvery == 0) {
            std::snprintf(line, sizeof line, "QUORLANE_JSON {\"operate\":\"NONE\",\"line\":%06d,\"pad\":\"xxxxxxx\"}",
                          number);
        } else {
            std::snprintf(line, sizeof line, "console line %06d of the benchmark board, padded to 64 bytes ..", number);
        }
        stream += line;
        stream += "\r\n";
        expected.Add(QString::fromLatin1(line));
    }
    return stream;
}

// Records every line a memo is handed, from the text its document receives.
void TallyInsertedLines(QPlainTextEdit& memo, TTally& tally)
{
    QObject::connect(memo.document(), &QTextDocument::contentsChange, [&memo, &tally](int at, int, int added) {
        if (added == 0) {
            return;
        }
        QTextCursor cursor(memo.document());
        cursor.setPosition(at);
        cursor.setPosition(at + added, QTextCursor::KeepAnchor);
        QString text = cursor.selectedText();
        if (text.startsWith(QChar::ParagraphSeparator)) {
            text.remove(0, 1);
        }
        for (const QString& line : text.split(QChar::ParagraphSeparator)) {
            tally.Add(line);
        }
    });
}

struct TPseudoTerminal
{
    int Master = -1;
    int Slave = -1;
    std::string Path;

    TPseudoTerminal()
    {
        Master = posix_openpt(O_RDWR | O_NOCTTY);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        Path = ptsname(Master);
        Slave = open(Path.c_str(), O_RDWR | O_NOCTTY);
        termios settings{};
        tcgetattr(Slave, &settings);
        cfmakeraw(&settings);
        tcsetattr(Slave, TCSANOW, &settings);
    }
    ~TPseudoTerminal()
    {
        close(Slave);
        close(Master);
    }
    void WriteAll(const std::string& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(Master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            }
        }
    }
};

void Report(const char* what, double seconds, qint64 stall, const TTally& got, const TTally& expected)
{
    std::printf("%-34s %9.0f lines/s  %7.3f s  longest stall %4lld ms  lines %llu/%llu  checksum %s\n", what,
                static_cast<double>(got.Lines) / seconds, seconds, static_cast<long long>(stall),
                static_cast<unsigned long long>(got.Lines), static_cast<unsigned long long>(expected.Lines),
                got.Checksum == expected.Checksum ? "match" : "MISMATCH");
}

bool WaitFor(const TTally& tally, std::uint64_t lines, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (tally.Lines < lines && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return tally.Lines >= lines;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TPseudoTerminal board;
    qputenv("QUORLANE_EXTRA_PORTS", QByteArray::fromStdString(board.Path));
    TApplication application(argc, argv);

    TTally expected;
    const std::string stream = ConsoleStream(expected);

    char logDirectory[] = "/tmp/consolebench-XXXXXX";
    if (::mkdtemp(logDirectory) == nullptr) {
        std::fprintf(stderr, "no temporary directory for the session log\n");
        return 1;
    }
    auto log = std::make_unique<TSessionLog>(std::string(logDirectory) + "/logs");

    TFMain window;
    window.show();
    window.CBComPort->setCurrentIndex(window.CBComPort->findText(QString::fromStdString(board.Path)));
    window.BComConnClick();
    if (!window.SerialPort.Connected()) {
        std::fprintf(stderr, "could not open %s\n", board.Path.c_str());
        return 1;
    }
    const int shownBefore = window.MComEcho->LineCount();

    std::vector<int> eventSizes;
    qint64 longestHandler = 0;
    std::size_t longestAt = 0;
    window.SerialPort.OnRxChar = [&](TSerialPort&, int count) {
        eventSizes.push_back(count);
        QElapsedTimer handler;
        handler.start();
        window.SerialPortRxChar(count);
        if (handler.elapsed() > longestHandler) {
            longestHandler = handler.elapsed();
            longestAt = eventSizes.size();
        }
    };
    TTally arrived;
    TallyInsertedLines(*window.MComEcho, arrived);
    TStallMeter stalls;

    QElapsedTimer clock;
    stalls.Start();
    clock.start();
    std::thread writer([&] { board.WriteAll(stream); });
    const bool complete = WaitFor(arrived, expected.Lines, 120000);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    stalls.Stop();
    writer.join();
    std::printf("%d lines of about 64 bytes, a JSON marker line every %d, memo cap %d; %zu received-characters "
                "events (%.0f bytes each on average)\n",
                LineCount, MarkerEvery, MemoCap, eventSizes.size(),
                static_cast<double>(stream.size()) / static_cast<double>(std::max<std::size_t>(eventSizes.size(), 1)));
    Report("window (serial port -> MComEcho)", seconds, stalls.Longest, arrived, expected);
    std::printf("  longest stall %lld ms after the start; longest single handler run %lld ms (event %zu)\n",
                static_cast<long long>(stalls.At), static_cast<long long>(longestHandler), longestAt);
    if (!complete) {
        std::printf("  not every line arrived within two minutes (%d lines were shown before)\n", shownBefore);
    }
    window.hide();
    log->Flush();
    std::printf("  session log: %ju bytes\n", static_cast<std::uintmax_t>(std::filesystem::file_size(log->Path())));
    log.reset();
    std::filesystem::remove_all(logDirectory);

    // The ceiling: a bare QPlainTextEdit fed the same bytes in the same event sizes.
    QPlainTextEdit bare;
    bare.setReadOnly(true);
    bare.setUndoRedoEnabled(false);
    bare.setLineWrapMode(QPlainTextEdit::NoWrap);
    bare.resize(710, 550);
    bare.show();
    TTally bareTally;
    TallyInsertedLines(bare, bareTally);
    // One event's bytes per turn of the event loop, as the serial port's hand-overs arrive in the window.
    std::string pending;
    std::size_t offset = 0;
    std::size_t next = 0;
    QTimer feeder;
    feeder.setInterval(0);
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (next == eventSizes.size()) {
            feeder.stop();
            return;
        }
        const auto size = static_cast<std::size_t>(eventSizes[next++]);
        pending.append(stream, offset, size);
        offset += size;
        QStringList lines;
        std::size_t start = 0;
        for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n', start)) {
            lines.append(QString::fromUtf8(pending.data() + start, static_cast<qsizetype>(end - start - 1)));
            start = end + 1;
        }
        pending.erase(0, start);
        QTextCursor cursor(bare.document());
        cursor.beginEditBlock();
        if (!lines.isEmpty()) {
            cursor.movePosition(QTextCursor::End);
            if (!bare.document()->isEmpty()) {
                cursor.insertBlock();
            }
            cursor.insertText(lines.join(QChar::ParagraphSeparator));
        }
        cursor.endEditBlock();
        const int excess = bare.document()->blockCount() - MemoCap;
        if (excess > 0) {
            cursor.setPosition(0);
            cursor.setPosition(bare.document()->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        bare.verticalScrollBar()->setValue(bare.verticalScrollBar()->maximum());
    });
    stalls.Start();
    clock.restart();
    feeder.start();
    WaitFor(bareTally, expected.Lines, 120000);
    const double bareSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    stalls.Stop();
    Report("bare QPlainTextEdit (ceiling)", bareSeconds, stalls.Longest, bareTally, expected);
    std::printf("  longest stall %lld ms after the start\n", static_cast<long long>(stalls.At));
    std::printf("window / ceiling: %.2f\n", bareSeconds / seconds);
    return complete && arrived.Checksum == expected.Checksum ? 0 : 1;
}
