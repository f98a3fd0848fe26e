#include "pagecontrol.h"

#include <QScopedValueRollback>

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (!FChangingFromCode) {
            emit Change();
        }
    });
}

void TPageControl::SetActivePage(QWidget* page)
{
    const QScopedValueRollback guard(FChangingFromCode, true);
    setCurrentWidget(page);
}

void TPageControl::SetTabShown(QWidget* page, bool shown)
{
    const QScopedValueRollback guard(FChangingFromCode, true);
    setTabVisible(indexOf(page), shown);
}

bool TPageControl::IsTabShown(QWidget* page) const
{
    return isTabVisible(indexOf(page));
}
