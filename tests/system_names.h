#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace test_support {

// Whether this system's file names can hold name: Windows refuses < > " | and others that Linux
// takes, so a table row about such a name has no premise there and is left out.
inline bool systemTakesName(const QString& name) {
    QTemporaryDir folder;
    QFile file(folder.filePath(name));
    return file.open(QIODevice::WriteOnly);
}

} // namespace test_support
