#include "simulatedboard.h"

#include "tempdir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace quorlane::testsupport;

namespace {

// The simulator's command line; makes its directory.
std::vector<std::string> Command(const fs::path& directory, const std::vector<std::string>& options)
{
    fs::create_directories(directory);
    std::vector<std::string> command{"/usr/bin/python3", QUORLANE_BOARDSIM,
                                     "--pty-file",       (directory / "pty").string(),
                                     "--flash",          (directory / "flash.bin").string(),
                                     "--wire-log",       (directory / "wire.log").string()};
    command.insert(command.end(), options.begin(), options.end());
    return command;
}

TWireSession ReadSession(const std::string& line)
{
    const QJsonObject session = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    TWireSession read{0, session.value("garbled").toInteger(), session.value("floor").toDouble()};
    for (const QJsonValue rate : session.value("rates").toArray()) {
        read.Bytes += rate["received"].toInteger() + rate["sent"].toInteger();
    }
    return read;
}

// The simulator writes the pseudo-terminal's path once it is there.
bool PortWritten(const fs::path& file)
{
    std::error_code missing;
    return fs::file_size(file, missing) > 0 && !missing;
}

} // namespace

TSimulatedBoard::TSimulatedBoard(const fs::path& directory, const std::vector<std::string>& options)
    : FDirectory(directory), FProcess(Command(directory, options), (directory / "boardsim.out").string())
{
    for (int wait = 0; wait < 1000 && !PortWritten(directory / "pty"); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream(directory / "pty") >> FPort;
}

std::string TSimulatedBoard::Flash() const
{
    return ReadWholeFile((FDirectory / "flash.bin").string());
}

bool TSimulatedBoard::Holds(const std::string& image) const
{
    return Flash().compare(0, image.size(), image) == 0;
}

std::vector<TWireSession> TSimulatedBoard::Sessions(std::size_t count) const
{
    std::vector<TWireSession> sessions;
    for (int wait = 0; wait < 100; ++wait) {
        sessions.clear();
        std::ifstream log(FDirectory / "wire.log");
        for (std::string line; std::getline(log, line);) {
            sessions.push_back(ReadSession(line));
        }
        if (sessions.size() >= count) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return sessions;
}

TWireTotal Total(const std::vector<TWireSession>& sessions, std::size_t first)
{
    TWireTotal total;
    for (std::size_t index = first; index < sessions.size(); ++index) {
        ++total.Sessions;
        total.Bytes += sessions[index].Bytes;
        total.Garbled += sessions[index].Garbled;
        total.Floor += sessions[index].Floor;
    }
    return total;
}
