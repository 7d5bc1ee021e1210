// The drive list's volumes on Windows: the real drive letters.

#include "places/volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace places {

std::vector<Volume> systemVolumes() {
    std::vector<Volume> volumes;
    for (const QFileInfo& drive : QDir::drives()) {
        const QString root = drive.absoluteFilePath();
        volumes.push_back({root, root.left(2).toLower(), QStorageInfo(root).name()});
    }
    // C: first, so that it is the fall-back drive.
    std::stable_partition(volumes.begin(), volumes.end(),
                          [](const Volume& v) { return v.name == QStringLiteral("c:"); });
    return volumes;
}

} // namespace places
