// The Connect page's Save log...: the session log, for a bug report, copied to a file the user picks.

#include "fmain.h"

#include "sessionlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>

#include <stdexcept>

void TFMain::BSaveLogClick()
{
    TSessionLog* log = CurrentSessionLog();
    if (log == nullptr) {
        const std::string absence = SessionLogAbsence();
        throw std::runtime_error("This session writes no log" + (absence.empty() ? "" : ": " + absence));
    }
    QFileDialog dialog(this, QStringLiteral("Save log"), QDir::homePath(),
                       QStringLiteral("Logs (*.log);;All files (*)"));
    dialog.setObjectName(QStringLiteral("SaveLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("log"));
    dialog.selectFile(QDateTime::currentDateTime().toString(QStringLiteral("'quorlane-'yyyy-MM-dd-HHmmss'.log'")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    log->SaveCopy(QFile::encodeName(dialog.selectedFiles().front()).toStdString());
}
