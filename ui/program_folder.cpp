#include "ui/program_folder.h"

#include <QCoreApplication>
#include <QStandardPaths>

QString programFolder() {
#ifdef Q_OS_WIN
    const QString folder = QCoreApplication::applicationDirPath();
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#endif
    // The run makes the folder when it first writes the log, so a folder that cannot be made
    // fails that run with the reason in words.
    return folder;
}
