#pragma once

#include <QTabWidget>

// The window's page control. Change is raised only when the user selects a page; selecting a page from code or
// hiding the tab of the page that shows (which brings up another page) raises nothing.
class TPageControl : public QTabWidget
{
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent = nullptr);

    void SetActivePage(QWidget* page);
    void SetTabShown(QWidget* page, bool shown);
    bool IsTabShown(QWidget* page) const;

signals:
    void Change();

private:
    bool FChangingFromCode = false;
};
