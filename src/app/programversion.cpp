#include "programversion.h"

TProgramVersion GetProgramVersion()
{
    return {QUORLANE_VERSION_MAJOR, QUORLANE_VERSION_MINOR, QUORLANE_VERSION_RELEASE, QUORLANE_VERSION_BUILD};
}
