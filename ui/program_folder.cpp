#include "program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

QString programFolder() {
#ifdef Q_OS_WIN
    const QString folder = QCoreApplication::applicationDirPath();
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#endif
    // A folder that cannot be made shows up as the patch run's own failure to open the log,
    // with the reason in words.
    QDir().mkpath(folder);
    return folder;
}
