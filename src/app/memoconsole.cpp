#include "memoconsole.h"

#include "memo.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

TMemoConsole::TMemoConsole(TMemo* memo, std::function<void(int)> onProgress)
    : FMemo(memo), FOnProgress(std::move(onProgress)), FBase(memo->LineCount())
{
}

void TMemoConsole::ShowLines(std::size_t first, std::span<const std::string> lines)
{
    QTextDocument* document = FMemo->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    // The run's lines from first on are taken away, with the line break before them unless they start the memo.
    const int line = FBase + static_cast<int>(first);
    if (line < FMemo->LineCount()) {
        const QTextBlock before = document->findBlockByNumber(line - 1);
        cursor.setPosition(line > 0 ? before.position() + before.length() - 1 : 0);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    } else {
        cursor.movePosition(QTextCursor::End);
    }
    for (const std::string& text : lines) {
        if (!document->isEmpty()) {
            cursor.insertBlock();
        }
        cursor.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    cursor.endEditBlock();
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
