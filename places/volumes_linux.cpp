// The drive list's volumes on Linux, where there are no drive letters: "/" stands for C:.

#include "places/volumes.h"
#include "places/wine_prefixes.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

namespace places {

std::vector<Volume> systemVolumes() {
    std::vector<Volume> volumes{{QStringLiteral("/"), QStringLiteral("/"), {}}};
    // The mount table is read by hand: Qt's list of mounted volumes comes from /proc/self/mounts,
    // which does not say when a mount is a bind mount of part of a file system (or of a single
    // file), and it decodes mount points as UTF-8, so that one whose name is other bytes could
    // not be opened again. The volume's name is Qt's, read from the device's label.
    QFile mountInfo(QStringLiteral("/proc/self/mountinfo"));
    if (mountInfo.open(QIODevice::ReadOnly)) {
        const QByteArray text = mountInfo.readAll();
        for (const Mount& mount : userMounts(std::string_view(text.constData(), text.size())))
            volumes.push_back(
                {mount.mountPoint, mount.mountPoint, QStorageInfo(mount.mountPoint).name()});
    }
    // Wine's drive letters are no mounts at all: Qt knows nothing of them.
    for (Volume& drive : wineVolumes(QDir::homePath(), qEnvironmentVariable("WINEPREFIX")))
        volumes.push_back(std::move(drive));
    return volumes;
}

} // namespace places
