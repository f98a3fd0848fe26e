#pragma once

#include <functional>
#include <string>

// A board on the far end of a pseudo-terminal: the window opens the slave side as its serial port, the test
// writes the board's console on the master side and reads what the window sends.
class TPtyBoard
{
public:
    TPtyBoard();
    ~TPtyBoard();
    TPtyBoard(const TPtyBoard&) = delete;
    TPtyBoard& operator=(const TPtyBoard&) = delete;

    const std::string& Path() const { return FPath; }
    // Writes all bytes; while the window has not read enough to make room, WhileFull runs (the test lets the
    // window process its events there).
    void Write(const std::string& bytes);
    // Reads what the window has sent until `terminator` arrives or the time runs out.
    std::string ReadUntil(char terminator, int timeoutMs);
    // Reads whatever arrives within the time.
    std::string ReadFor(int timeoutMs);
    // The device goes away, as when the board's USB cable is pulled.
    void Vanish();

    std::function<void()> WhileFull;

private:
    int FMaster = -1;
    int FSlave = -1;
    std::string FPath;
};
