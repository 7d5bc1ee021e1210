#pragma once

#include <QString>
#include <functional>
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

// The machine's drives: on Linux "/" first (it stands for C:), then the user-data mounts (see
// mount_table_linux.h), then the drive letters of the user's Wine prefixes (see
// wine_prefixes_linux.h); on Windows the drive letters, C: first.
std::vector<Volume> systemVolumes();

} // namespace places
