#include "memo.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // Read and selected with the keyboard too; Tab moves on instead of being typed.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setTabChangesFocus(true);
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
    emit LinesAdded(lines);
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

// Each line goes with the line break before it (after it, for the first line), so that the lines around it keep
// their place and what marks them.
void TMemo::RemoveLinesStartingWith(const QString& prefix)
{
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (QTextBlock block = document()->lastBlock(); block.isValid();) {
        const QTextBlock previous = block.previous();
        if (block.text().startsWith(prefix)) {
            const int end = block.position() + block.length() - 1;
            cursor.setPosition(previous.isValid() ? previous.position() + previous.length() - 1 : 0);
            cursor.setPosition(previous.isValid() || !block.next().isValid() ? end : end + 1, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        block = previous;
    }
    cursor.endEditBlock();
}

void TMemo::ScrollToEnd()
{
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
