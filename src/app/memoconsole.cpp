#include "memoconsole.h"

#include "memo.h"

#include <QCoreApplication>
#include <QTextCursor>
#include <QTextDocument>

TMemoConsole::TMemoConsole(TMemo* memo) : FMemo(memo), FFirstBlockFree(memo->document()->isEmpty()) {}

void TMemoConsole::AppendText(const std::string& text)
{
    const QString decoded = FDecoder.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    const QStringList pieces = decoded.split(QStringLiteral("\r\n"));
    QTextCursor cursor(FMemo->document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        // Every piece after the first follows a line break, which ends the open line (or is an empty line).
        if (i > 0) {
            if (!FLineOpen) {
                OpenLine(cursor);
            }
            FLineOpen = false;
        }
        if (!pieces[i].isEmpty()) {
            if (!FLineOpen) {
                OpenLine(cursor);
                FLineOpen = true;
            }
            cursor.insertText(pieces[i]);
        }
    }
    cursor.endEditBlock();
    FMemo->ScrollToEnd();
}

void TMemoConsole::ProcessPendingEvents()
{
    QCoreApplication::processEvents();
}

void TMemoConsole::OpenLine(QTextCursor& cursor)
{
    if (FFirstBlockFree) {
        FFirstBlockFree = false;
    } else {
        cursor.insertBlock();
    }
}
