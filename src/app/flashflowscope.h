#pragma once

#include "disabledcontrols.h"
#include "fmain.h"

#include <QPushButton>

// Pins the port for a flash flow: the controls that would open, reset or choose a port are disabled, and the flow's
// own button turns into Cancel, until the flow ends, an error included.
class TFMain::TFlashFlowScope
{
public:
    TFlashFlowScope(TFMain& window, TFlashFlow flow, QPushButton* button, const QList<QWidget*>& pinned)
        : FWindow(window), FDisabled(pinned), FButton(button), FCaption(button->text())
    {
        FWindow.FFlow = flow;
        FWindow.FCancelRequested = false;
        FButton->setText(QStringLiteral("Cancel"));
    }
    ~TFlashFlowScope()
    {
        FButton->setText(FCaption);
        FWindow.FFlow = TFlashFlow::None;
        FWindow.FCancelRequested = false;
    }
    TFlashFlowScope(const TFlashFlowScope&) = delete;
    TFlashFlowScope& operator=(const TFlashFlowScope&) = delete;

private:
    TFMain& FWindow;
    TDisabledControls FDisabled;
    QPushButton* FButton;
    QString FCaption;
};
