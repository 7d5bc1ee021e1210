#include "ui/program_folder.h"

#include <QCoreApplication>

// On Windows the log stays beside the executable, where the user looks for it.
QString programFolder() {
    return QCoreApplication::applicationDirPath();
}
