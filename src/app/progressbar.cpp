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
    Changed();
}

void TQProgressBar::SetPosition(int position)
{
    FPosition = position;
    Changed();
}

void TQProgressBar::Changed()
{
    if (FMaximum == 0) {
        setAccessibleDescription(FPosition > 0 ? QStringLiteral("%1 bytes").arg(FPosition) : QString());
    } else {
        setAccessibleDescription(
            QStringLiteral("%1 %").arg(100 * qint64(std::clamp(FPosition, 0, FMaximum)) / FMaximum));
    }
    repaint();
}

TQProgressBar::TFill TQProgressBar::Filled(int innerWidth) const
{
    if (FPosition <= 0) {
        return {0, 0};
    }
    if (FMaximum == 0) {
        // A fifth of the bar, one step along for every 16 KiB.
        const int block = innerWidth / 5;
        constexpr int BytesPerStep = 16 * 1024;
        return {(FPosition / BytesPerStep * block / 4) % (innerWidth - block + 1), block};
    }
    if (FPosition >= FMaximum) {
        return {0, innerWidth};
    }
    return {0, static_cast<int>(static_cast<qint64>(innerWidth) * FPosition / FMaximum)};
}

void TQProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const TFill fill = Filled(width());
    painter.fillRect(fill.Start, 0, fill.Width, height(), QColor(0, 255, 0));
}
