#include "boardconsole.h"

#include <algorithm>

void TBoardConsole::Receive(std::string_view bytes, const TSink& sink)
{
    if (FReceiving) {
        FLater.append(bytes);
        return;
    }
    FReceiving = true;
    try {
        Take(bytes, sink);
        while (!FLater.empty()) {
            const std::string later = std::move(FLater);
            FLater.clear();
            Take(later, sink);
        }
    } catch (...) {
        FReceiving = false;
        FLater.clear();
        throw;
    }
    FReceiving = false;
}

void TBoardConsole::Reset()
{
    LineBuffer.clear();
    BoardIp.clear();
    BoardGateway.clear();
    BoardNetmask.clear();
    EchoOn = false;
    FContinued = false;
    FMask.EndLine();
}

// A line is cut only when a byte that is no line feed finds it full, so a line of exactly the limit stays whole.
void TBoardConsole::Take(std::string_view bytes, const TSink& sink)
{
    while (!bytes.empty()) {
        const std::size_t lineFeed = bytes.find('\n');
        const std::size_t length = std::min(lineFeed, bytes.size());
        const std::size_t room = MaxLineLength - LineBuffer.size();
        if (length > room) {
            LineBuffer.append(bytes.substr(0, room));
            bytes.remove_prefix(room);
            CompleteLine(true, sink);
            continue;
        }
        LineBuffer.append(bytes.substr(0, length));
        if (lineFeed == std::string_view::npos) {
            return;
        }
        bytes.remove_prefix(length + 1);
        CompleteLine(false, sink);
    }
}

void TBoardConsole::CompleteLine(bool cut, const TSink& sink)
{
    // The line leaves the buffer before it is acted on: the sink may reset the console.
    const std::string line = std::move(LineBuffer);
    LineBuffer.clear();
    const bool lineStart = !FContinued;
    FContinued = cut;
    if (lineStart && line == StartMarkerLine) {
        EchoOn = true;
    }
    if (EchoOn) {
        std::string shown = FMask.Piece(line);
        if (cut) {
            shown += CutMark;
        }
        sink.ShowLine(shown);
    }
    if (!cut) {
        FMask.EndLine();
    }
    if (lineStart && line.starts_with(JsonMarker)) {
        sink.JsonLine(line.substr(JsonMarker.size()));
    }
}
