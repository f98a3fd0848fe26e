#pragma once

#include "passwordmask.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The program's side of the board's serial console: the bytes the board prints are assembled into lines, the
// start marker switches the echo on and a JSON marker line carries one board message. One instance lives beside
// the main window; its fields are the console state that connect and REBOOT empty.
class TBoardConsole
{
public:
    // The start marker as a whole line: the board prints it followed by CR LF, and the CR stays in the line.
    static constexpr std::string_view StartMarkerLine = "QUORLANE_START\r";
    static constexpr std::string_view JsonMarker = "QUORLANE_JSON";
    // A board that never sends a line feed cannot grow the line without bound: a line is cut at this length and
    // its bytes beyond go on as a new line. That rest is shown, but is no marker line: the board did not start a
    // line there.
    static constexpr std::size_t MaxLineLength = 64 * 1024;
    // Ends the shown copy of a line that was cut.
    static constexpr std::string_view CutMark = " [line cut at 64 KiB]";

    struct TSink
    {
        // A completed line to show in the console memo (echo on): as received, CR included, with the values of
        // its password members masked (passwordmask.h); a line that was cut ends in CutMark.
        std::function<void(const std::string& shown)> ShowLine;
        // A JSON marker line: the text after the marker, handed on unchanged.
        std::function<void(const std::string& message)> JsonLine;
    };

    // Appends the bytes to LineBuffer and acts on every line that they complete. The sink may call Receive again
    // (a handler that processes pending events): those bytes arrived after the ones this call still works on, so
    // they wait and are taken, in order, when this call has done with its own.
    void Receive(std::string_view bytes, const TSink& sink);

    // Empties all five fields, as connect and the REBOOT message do: the next bytes start a new line. Bytes that
    // wait for a Receive at work are kept; they follow what it works on.
    void Reset();

    std::string LineBuffer;
    bool EchoOn = false;
    std::string BoardIp;
    std::string BoardGateway;
    std::string BoardNetmask;

private:
    void Take(std::string_view bytes, const TSink& sink);
    void CompleteLine(bool cut, const TSink& sink);

    // Bytes of Receive calls made while another one is at work.
    std::string FLater;
    bool FReceiving = false;
    // LineBuffer holds the rest of a line that was cut.
    bool FContinued = false;
    TPasswordMask FMask;
};
