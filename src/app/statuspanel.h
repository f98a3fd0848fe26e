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

// A flat status panel: white text centred on a background colour that the flows set, and a click event. Screen
// readers get the panel's accessible name (what it reports on) with its text as the description, told of every
// change; a clickable panel is a button to them, and is reached with Tab and pressed with Space or Enter.
class TStatusPanel : public QLabel
{
    Q_OBJECT

public:
    explicit TStatusPanel(QWidget* parent = nullptr);

    void SetState(const QString& caption, const QColor& color);
    void SetText(const QString& caption);
    void SetColor(const QColor& color);
    QColor Color() const { return FColor; }

    void MakeClickable();
    bool Clickable() const { return FClickable; }

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor FColor;
    bool FClickable = false;
};
