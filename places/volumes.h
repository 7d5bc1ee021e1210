#pragma once

#include <QString>
#include <functional>
#include <string_view>
#include <vector>

namespace places {

// One entry of the drive list.
struct Volume {
    QString root;  // the folder that stands for the drive's root
    QString name;  // a mount point, or a drive letter and its colon
    QString label; // the volume's name; empty where it has none
};

// The entry's text: its name, then the volume's name in brackets where it has one.
QString volumeText(const Volume& volume);

// Where the drive list's volumes come from; tests supply their own.
using VolumeSource = std::function<std::vector<Volume>()>;

// A mounted file system as the kernel's mount table describes it.
struct Mount {
    QString source;
    QString mountPoint;
};

// The mounts of /proc/self/mountinfo text that hold user data: local disks and removable media
// under /home, /media, /mnt and /run/media, in mount-point order. Pseudo and system file systems
// and bind mounts of parts of a file system (single files among them) are left out; a mount point
// mounted over keeps only its top mount. The root file system is not among them: it is always
// the first drive.
std::vector<Mount> userMounts(std::string_view mountInfo);

// The drive letters of a Wine prefix's dosdevices folder, "a:" to "z:", each rooted where its
// link points. The label is the drive's .windows-label, or "Wine" for the prefix's own drive_c.
// A named prefix labels every letter "Wine: NAME", followed by ", " and the drive's own label
// where it has one, so that the letters of different prefixes stay apart.
std::vector<Volume> wineDrives(const QString& dosDevices, const QString& prefixName = {});

// The machine's drives: on Linux "/" first (it stands for C:), then the user-data mounts, then the
// drive letters of the user's Wine prefixes (see winePrefixes()); on Windows the drive letters.
std::vector<Volume> systemVolumes();

} // namespace places
