#include "memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // A console memo takes tens of thousands of lines; an undo history of them would only grow.
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, QColor(64, 64, 64));
    colours.setColor(QPalette::Text, Qt::white);
    setPalette(colours);
}

// An empty document still holds one empty block; it counts as no line.
int TMemo::LineCount() const
{
    return document()->isEmpty() ? 0 : document()->blockCount();
}

QString TMemo::Line(int index) const
{
    return document()->findBlockByNumber(index).text();
}

void TMemo::AddLine(const QString& line)
{
    AddLines({line});
}

void TMemo::AddLines(const QStringList& lines)
{
    if (lines.isEmpty()) {
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    if (!document()->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(lines.join(QChar::ParagraphSeparator));
    cursor.endEditBlock();
}

void TMemo::KeepLastLines(int maxLines)
{
    const int excess = LineCount() - maxLines;
    if (excess <= 0) {
        return;
    }
    QTextCursor cursor(document());
    cursor.setPosition(document()->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void TMemo::RemoveLinesStartingWith(const QString& prefix)
{
    QStringList kept;
    bool removed = false;
    for (int index = 0; index < LineCount(); ++index) {
        const QString line = Line(index);
        if (line.startsWith(prefix)) {
            removed = true;
        } else {
            kept.append(line);
        }
    }
    if (removed) {
        clear();
        AddLines(kept);
    }
}

void TMemo::ScrollToEnd()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
