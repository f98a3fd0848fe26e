#pragma once

#include <QSettings>

#include <memory>

// The user's choices kept between runs (the flashing rate, the last folders, what each adapter kept up with), in
// $XDG_CONFIG_HOME/quorlane/quorlane.conf (~/.config/quorlane/quorlane.conf). The file is opened anew each time,
// so that the directory follows the environment as it is then.
std::unique_ptr<QSettings> UserSettings();
