// The drive list's volumes on Linux, where there are no drive letters: "/" stands for C:.

#include "places/volumes.h"

#include "places/mount_table_linux.h"
#include "places/wine_prefixes_linux.h"

#include <QDir>
#include <QStorageInfo>

namespace places {

std::vector<Volume> systemVolumes() {
    std::vector<Volume> volumes{{QStringLiteral("/"), QStringLiteral("/"), {}}};
    // The volume's name is Qt's, read from the device's label.
    for (const Mount& mount : userMounts())
        volumes.push_back(
            {mount.mountPoint, mount.mountPoint, QStorageInfo(mount.mountPoint).name()});
    // Wine's drive letters are no mounts at all: Qt knows nothing of them.
    for (Volume& drive : wineVolumes(QDir::homePath(), qEnvironmentVariable("WINEPREFIX")))
        volumes.push_back(std::move(drive));
    return volumes;
}

} // namespace places
