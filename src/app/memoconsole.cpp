#include "memoconsole.h"

#include "memo.h"

#include <QCoreApplication>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// Block states that no other run uses (a block's state is -1 until set).
int NextRunTag()
{
    static int tag = 0;
    return ++tag;
}

// Removes a block that has become empty, with the line break that joins it to its neighbour.
void RemoveEmptyBlock(QTextCursor& cursor, const QTextBlock& block)
{
    if (block.previous().isValid()) {
        cursor.setPosition(block.position() - 1);
        cursor.setPosition(block.position(), QTextCursor::KeepAnchor);
    } else if (block.next().isValid()) {
        cursor.setPosition(block.position());
        cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}

} // namespace

TMemoConsole::TMemoConsole(TMemo* memo, std::function<void(int)> onProgress)
    : FMemo(memo), FOnProgress(std::move(onProgress)), FTag(NextRunTag())
{
}

// The memo's last block of this run; invalid while the run shows nothing in the memo.
QTextBlock TMemoConsole::LastRunBlock() const
{
    if (FShown == 0) {
        return {};
    }
    for (QTextBlock block = FMemo->document()->lastBlock(); block.isValid(); block = block.previous()) {
        if (block.userState() == FTag) {
            return block;
        }
    }
    return {};
}

// The block that shows the run's line, counted back from the run's last block; the earliest of the run's blocks
// when that line is no longer in the memo.
QTextBlock TMemoConsole::RunBlock(const QTextBlock& last, std::size_t line) const
{
    QTextBlock block = last;
    for (std::size_t steps = FShown - 1 - line; steps > 0 && block.previous().userState() == FTag; --steps) {
        block = block.previous();
    }
    return block;
}

void TMemoConsole::ShowLines(std::size_t first, std::span<const std::string> lines)
{
    const QTextBlock last = LastRunBlock();
    if (lines.empty() && (!last.isValid() || first >= FShown)) {
        return;
    }
    QTextDocument* document = FMemo->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    int start = 0;
    if (last.isValid() && first < FShown) {
        // The run's lines from first on are replaced in place; the first of their blocks takes the first new line.
        const QTextBlock from = RunBlock(last, first);
        start = from.blockNumber();
        cursor.setPosition(from.position());
        cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        if (lines.empty()) {
            RemoveEmptyBlock(cursor, document->findBlockByNumber(start));
        }
    } else if (document->isEmpty()) {
        cursor.movePosition(QTextCursor::Start);
    } else {
        // Below the run's lines, or below the memo's text when the run shows none yet.
        cursor.setPosition(last.isValid() ? last.position() + last.length() - 1 : document->characterCount() - 1);
        cursor.insertBlock();
        start = cursor.blockNumber();
    }
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (index > 0) {
            cursor.insertBlock();
        }
        cursor.insertText(QString::fromUtf8(lines[index].data(), static_cast<qsizetype>(lines[index].size())));
    }
    for (std::size_t index = 0; index < lines.size(); ++index) {
        document->findBlockByNumber(start + static_cast<int>(index)).setUserState(FTag);
    }
    cursor.endEditBlock();
    FShown = first + lines.size();
    FMemo->KeepLastLines(MaxLines);
    FMemo->ScrollToEnd();
}

void TMemoConsole::ShowProgress(int percent)
{
    if (FOnProgress) {
        FOnProgress(percent);
    }
}

void TMemoConsole::ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}
