#pragma once

#include <QWidget>

// The download's progress bar: a flat lime bar on white without caption text. A negative maximum is stored as 0;
// a position above the maximum draws a full bar, one of 0 or less an empty bar, and a maximum of 0 draws nothing.
// Setting either repaints at once, since the download that drives the bar holds the event loop meanwhile.
class TQProgressBar : public QWidget
{
    Q_OBJECT

public:
    explicit TQProgressBar(QWidget* parent = nullptr);

    int Maximum() const { return FMaximum; }
    void SetMaximum(int maximum);
    int Position() const { return FPosition; }
    void SetPosition(int position);

    // The filled width in pixels for the current maximum and position, out of the bar's inner width.
    int FilledWidth(int innerWidth) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FMaximum = 100;
    int FPosition = 0;
};
