#include "disabledcontrols.h"

TDisabledControls::TDisabledControls(const QList<QWidget*>& controls)
{
    for (QWidget* control : controls) {
        FControls.append(control);
        FWereEnabled.append(control->isEnabled());
        control->setEnabled(false);
    }
}

TDisabledControls::~TDisabledControls()
{
    for (qsizetype index = 0; index < FControls.size(); ++index) {
        if (FControls[index]) {
            FControls[index]->setEnabled(FWereEnabled[index]);
        }
    }
}
