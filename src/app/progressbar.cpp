#include "progressbar.h"

#include <QPainter>
#include <algorithm>

TQProgressBar::TQProgressBar(QWidget* parent) : QWidget(parent)
{
    setFixedSize(569, 12);
}

void TQProgressBar::SetMaximum(int maximum)
{
    FMaximum = std::max(maximum, 0);
    repaint();
}

void TQProgressBar::SetPosition(int position)
{
    FPosition = position;
    repaint();
}

int TQProgressBar::FilledWidth(int innerWidth) const
{
    if (FMaximum == 0 || FPosition <= 0) {
        return 0;
    }
    if (FPosition >= FMaximum) {
        return innerWidth;
    }
    return static_cast<int>(static_cast<qint64>(innerWidth) * FPosition / FMaximum);
}

void TQProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.fillRect(0, 0, FilledWidth(width()), height(), QColor(0, 255, 0));
}
