#pragma once

#include "fmain.h"

#include <filesystem>

// The benchmark's two measures, each with the window and a scratch directory that holds the demo catalogue's images
// (made by make-demo in work/catalogue). Each prints its figures and returns the program's exit status.

// The wire takes no time: the window's flashing step against the bare tool, same command, several rounds.
int MeasureOnInstantWire(TFMain& window, const std::filesystem::path& work);
// The wire takes a real line's time: the bare tool at its default rate, the program's default flash, their wire
// floor, the fallback to the safe rate, and the backup.
int MeasureOnTimedWire(TFMain& window, const std::filesystem::path& work);
