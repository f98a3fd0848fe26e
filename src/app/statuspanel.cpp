#include "statuspanel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// What assistive technology sees of a panel: a button when it is clickable, otherwise static text.
class TStatusPanelAccessible : public QAccessibleWidget
{
public:
    explicit TStatusPanelAccessible(TStatusPanel* panel) : QAccessibleWidget(panel) {}

    QAccessible::Role role() const override
    {
        return Panel()->Clickable() ? QAccessible::Button : QAccessible::StaticText;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Description || (kind == QAccessible::Name && Panel()->accessibleName().isEmpty())) {
            return Panel()->text();
        }
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (Panel()->Clickable()) {
            names.prepend(pressAction());
        }
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() && Panel()->Clickable()) {
            emit Panel()->Click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    TStatusPanel* Panel() const { return static_cast<TStatusPanel*>(widget()); }
};

QAccessibleInterface* StatusPanelAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(TStatusPanel::staticMetaObject.className()) && object->isWidgetType()) {
        return new TStatusPanelAccessible(static_cast<TStatusPanel*>(object));
    }
    return nullptr;
}

} // namespace

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(StatusPanelAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
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
    SetText(caption);
    SetColor(color);
}

void TStatusPanel::SetText(const QString& caption)
{
    setText(caption);
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void TStatusPanel::SetColor(const QColor& color)
{
    FColor = color;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, color);
    setPalette(colours);
}

void TStatusPanel::MakeClickable()
{
    FClickable = true;
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void TStatusPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Click();
    }
    QLabel::mouseReleaseEvent(event);
}

void TStatusPanel::keyPressEvent(QKeyEvent* event)
{
    const bool press = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (FClickable && press && event->modifiers() == Qt::NoModifier) {
        emit Click();
        return;
    }
    QLabel::keyPressEvent(event);
}

// The keyboard's place on a clickable panel: a dashed frame in the text's colour, inside the edge.
void TStatusPanel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DashLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}
