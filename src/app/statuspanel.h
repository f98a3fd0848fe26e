#pragma once

#include <QColor>
#include <QLabel>

// The toolkit's named colours that the status panels take.
namespace PanelColor {
inline const QColor Gray{128, 128, 128};
inline const QColor Olive{128, 128, 0};
inline const QColor Maroon{128, 0, 0};
inline const QColor Green{0, 128, 0};
} // namespace PanelColor

// A flat status panel: white text centred on a background colour that the flows set, and a click event.
class TStatusPanel : public QLabel
{
    Q_OBJECT

public:
    explicit TStatusPanel(QWidget* parent = nullptr);

    void SetState(const QString& caption, const QColor& color);
    void SetColor(const QColor& color);
    QColor Color() const { return FColor; }

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor FColor;
};
