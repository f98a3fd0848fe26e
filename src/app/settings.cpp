#include "settings.h"

#include "filelocations.h"

std::unique_ptr<QSettings> UserSettings()
{
    return std::make_unique<QSettings>(QString::fromStdString(UserConfigDirectory() + "/quorlane.conf"),
                                       QSettings::IniFormat);
}
