#pragma once

#include <QString>
#include <string_view>
#include <vector>

namespace places {

// A mounted file system as the kernel's mount table describes it.
struct Mount {
    QString source;
    QString mountPoint;
};

// The mounts of mountInfo, a table in /proc/self/mountinfo's form, that hold user data: local disks
// and removable media under /home, /media, /mnt and /run/media, in mount-point order. Pseudo and
// system file systems and bind mounts of parts of a file system (single files among them) are
// left out; a mount point mounted over keeps only its top mount. The root file system is not
// among them: it is always the first drive. Lines that are not mounts are skipped.
std::vector<Mount> userMounts(std::string_view mountInfo);

// The same, of this process's own mount table; none where it cannot be read.
std::vector<Mount> userMounts();

} // namespace places
