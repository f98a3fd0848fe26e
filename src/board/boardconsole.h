#pragma once

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

    struct TSink
    {
        // A completed line to show in the console memo (echo on), as received, CR included.
        std::function<void(const std::string& line)> ShowLine;
        // A JSON marker line: the text after the marker, handed on unchanged.
        std::function<void(const std::string& message)> JsonLine;
    };

    // Appends the bytes to LineBuffer and acts on every line that a line feed completes. The sink may call
    // Receive again (a handler that processes pending events); that call works on the same LineBuffer.
    void Receive(const std::string& bytes, const TSink& sink);

    // Empties all five fields, as connect and the REBOOT message do.
    void Reset();

    std::string LineBuffer;
    bool EchoOn = false;
    std::string BoardIp;
    std::string BoardGateway;
    std::string BoardNetmask;

private:
    void CompleteLine(const TSink& sink);
};
