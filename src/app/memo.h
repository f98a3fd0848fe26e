#pragma once

#include <QPlainTextEdit>
#include <QStringList>

// A read-only console memo: white text on dark grey, one line per console line, both scroll bars.
class TMemo : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit TMemo(QWidget* parent = nullptr);

    int LineCount() const;
    QString Line(int index) const;
    void AddLine(const QString& line);
    // Adds the lines as new last lines in one edit, so the memo repaints once.
    void AddLines(const QStringList& lines);
    // Deletes the oldest lines until at most maxLines remain, in one edit.
    void KeepLastLines(int maxLines);
    void RemoveLinesStartingWith(const QString& prefix);
    void ScrollToEnd();

signals:
    // The lines AddLines (or AddLine) added; what a console tool's run shows in place is not among them.
    void LinesAdded(const QStringList& lines);
};
