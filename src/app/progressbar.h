#pragma once

#include <QWidget>

// The download's progress bar: a flat lime bar on white without caption text. A negative maximum is stored as 0;
// a position above the maximum draws a full bar, one of 0 or less an empty bar. A maximum of 0 means the total is
// not known: a short block then moves along the bar as the position grows. Setting either repaints at once, since
// the download that drives the bar holds the event loop meanwhile; screen readers read the progress as the bar's
// description.
class TQProgressBar : public QWidget
{
    Q_OBJECT

public:
    explicit TQProgressBar(QWidget* parent = nullptr);

    int Maximum() const { return FMaximum; }
    void SetMaximum(int maximum);
    int Position() const { return FPosition; }
    void SetPosition(int position);

    // The filled part in pixels for the current maximum and position, out of the bar's inner width: where it
    // starts and how wide it is.
    struct TFill
    {
        int Start;
        int Width;
    };
    TFill Filled(int innerWidth) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Changed();

    int FMaximum = 100;
    int FPosition = 0;
};
