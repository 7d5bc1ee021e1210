// Windows hands argv over in the ANSI code page, which cannot name every file; Qt's argument list
// is read from the UTF-16 command line.

#include "app/given_path.h"

#include <QCoreApplication>
#include <QStringList>

QString givenPath(int, char*[]) {
    return QCoreApplication::arguments().value(1);
}
