// The Connect page's Save log...: the session log, for a bug report, copied to a file the user picks.

#include "fmain.h"

#include "sessionlog.h"

#include <QDateTime>

#include <stdexcept>

void TFMain::BSaveLogClick()
{
    TSessionLog* log = CurrentSessionLog();
    if (log == nullptr) {
        const std::string absence = SessionLogAbsence();
        throw std::runtime_error("This session writes no log" + (absence.empty() ? "" : ": " + absence));
    }
    const std::string path =
        AskFile({"SaveLogDialog", "Save log", true, "Logs (*.log)", "LogFolder"},
                QDateTime::currentDateTime().toString(QStringLiteral("'quorlane-'yyyy-MM-dd-HHmmss'.log'")));
    if (!path.empty()) {
        log->SaveCopy(path);
    }
}
