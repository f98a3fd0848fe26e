#pragma once

#include <cstdint>

struct TProgramVersion
{
    std::uint16_t Major;
    std::uint16_t Minor;
    std::uint16_t Release;
    std::uint16_t Build;
};

// The program's version. Linux executables carry no version resource, so the four numbers are the project
// version set once in CMake and compiled in.
TProgramVersion GetProgramVersion();
