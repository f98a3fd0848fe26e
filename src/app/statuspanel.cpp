#include "statuspanel.h"

#include <QMouseEvent>

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent)
{
    // The flows put text from the board into the panels: it is shown as it is, never read as markup.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);
}

void TStatusPanel::SetState(const QString& caption, const QColor& color)
{
    setText(caption);
    SetColor(color);
}

void TStatusPanel::SetColor(const QColor& color)
{
    FColor = color;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, color);
    setPalette(colours);
}

void TStatusPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Click();
    }
    QLabel::mouseReleaseEvent(event);
}
