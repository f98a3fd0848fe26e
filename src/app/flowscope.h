#pragma once

#include "disabledcontrols.h"
#include "fmain.h"

#include <QPushButton>

// Runs a flow: its button turns into Cancel and, for a flow that holds the board's port, the port is pinned and the
// controls that would open, reset or choose a port are disabled, until the flow ends, an error included.
class TFMain::TFlowScope
{
public:
    TFlowScope(TFMain& window, TFlow flow, QPushButton* button, const QList<QWidget*>& disabled,
               const std::string& port = {})
        : FWindow(window), FDisabled(disabled), FButton(button), FCaption(button->text())
    {
        FWindow.FFlow = flow;
        FWindow.FCancelRequested = false;
        FWindow.PinPort(port);
        FButton->setText(QStringLiteral("Cancel"));
    }
    ~TFlowScope()
    {
        FButton->setText(FCaption);
        FWindow.FFlow = TFlow::None;
        FWindow.FCancelRequested = false;
    }
    TFlowScope(const TFlowScope&) = delete;
    TFlowScope& operator=(const TFlowScope&) = delete;

private:
    TFMain& FWindow;
    TDisabledControls FDisabled;
    QPushButton* FButton;
    QString FCaption;
};
