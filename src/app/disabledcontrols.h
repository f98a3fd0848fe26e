#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

// Disables controls for as long as it lives and gives each back the state it had, on every way out of a flow, an
// error included, so that a failing step never leaves a page dead until the program restarts.
class TDisabledControls
{
public:
    explicit TDisabledControls(const QList<QWidget*>& controls);
    ~TDisabledControls();
    TDisabledControls(const TDisabledControls&) = delete;
    TDisabledControls& operator=(const TDisabledControls&) = delete;

private:
    QList<QPointer<QWidget>> FControls;
    QList<bool> FWereEnabled;
};
