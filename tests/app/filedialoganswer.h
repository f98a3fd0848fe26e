#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <string>

// Answers the window's file dialog of that name as soon as it opens, the way a user types a path into its file name
// field and presses Enter (its file list fills in the background, so a selection made before it has could be
// refused). For the tests and the benchmarks that drive the window.
inline void AnswerFileDialog(QWidget* window, const char* name, const std::string& path)
{
    auto* answer = new QTimer(window);
    QObject::connect(answer, &QTimer::timeout, [window, name, answer, path] {
        auto* dialog = window->findChild<QFileDialog*>(QLatin1String(name));
        if (dialog != nullptr && dialog->isVisible()) {
            answer->deleteLater();
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(path));
            QMetaObject::invokeMethod(dialog, &QDialog::accept);
        }
    });
    answer->start(20);
}
