#include "boardconsole.h"

void TBoardConsole::Receive(const std::string& bytes, const TSink& sink)
{
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        const auto lineFeed = bytes.find('\n', start);
        if (lineFeed == std::string::npos) {
            LineBuffer.append(bytes, start, std::string::npos);
            return;
        }
        LineBuffer.append(bytes, start, lineFeed - start);
        CompleteLine(sink);
        start = lineFeed + 1;
    }
}

void TBoardConsole::Reset()
{
    LineBuffer.clear();
    BoardIp.clear();
    BoardGateway.clear();
    BoardNetmask.clear();
    EchoOn = false;
}

void TBoardConsole::CompleteLine(const TSink& sink)
{
    // The line leaves the buffer before it is acted on: the sink may process events, and the bytes that a nested
    // Receive appends then start the next line instead of extending this one.
    const std::string line = std::move(LineBuffer);
    LineBuffer.clear();
    if (line == StartMarkerLine) {
        EchoOn = true;
    }
    if (EchoOn) {
        sink.ShowLine(line);
    }
    if (line.starts_with(JsonMarker)) {
        sink.JsonLine(line.substr(JsonMarker.size()));
    }
}
