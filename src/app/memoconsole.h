#pragma once

#include "consolememo.h"

#include <QStringDecoder>

class QTextCursor;
class TMemo;

// Streams a console tool's output into a memo of the window. The memo holds one block per line and its lines end
// with a line break, so the output starts on a new line; a piece that ends in the middle of a line is continued by
// the next piece on the same line. A character split between two pieces is decoded whole.
class TMemoConsole : public IConsoleMemo
{
public:
    explicit TMemoConsole(TMemo* memo);

    void AppendText(const std::string& text) override;
    void ProcessPendingEvents() override;

private:
    void OpenLine(QTextCursor& cursor);

    TMemo* FMemo;
    QStringDecoder FDecoder{QStringDecoder::Utf8};
    // An empty memo still has one empty block, which takes the first line.
    bool FFirstBlockFree;
    bool FLineOpen = false;
};
