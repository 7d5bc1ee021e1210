#include "drive_list.h"

#include "native_name.h"

#include <QDir>
#include <QStyle>
#include <filesystem>

namespace controls {

namespace {

bool lies(const QString& folder, const QString& root) {
    if (folder == root)
        return true;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return folder.startsWith(prefix);
}

} // namespace

DriveList::DriveList(std::vector<Volume> volumes_, QWidget* parent)
    : QComboBox(parent)
    , volumes(std::move(volumes_)) {
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const Volume& volume : volumes) {
        addItem(icon, volumeText(volume));
        folders.push_back(volume.root);
    }
}

QString DriveList::root() const {
    const int index = currentIndex();
    return index < 0 ? QString() : volumes[index].root;
}

QString DriveList::rootText() const {
    const int index = currentIndex();
    return index < 0 ? QString() : volumes[index].name;
}

QString DriveList::folder() const {
    const int index = currentIndex();
    if (index < 0)
        return {};
    const QString& remembered = folders[index];
    // A folder removed since the drive was last visited sends the drive back to its root; only
    // an unreadable root means the drive itself cannot be used.
    std::error_code error;
    if (remembered != volumes[index].root &&
        !std::filesystem::is_directory(toNative(remembered), error))
        return volumes[index].root;
    return remembered;
}

void DriveList::rememberFolder(const QString& folder) {
    const int index = currentIndex();
    if (index >= 0 && lies(folder, volumes[index].root))
        folders[index] = folder;
}

int DriveList::indexOfFolder(const QString& folder) const {
    const QString clean = QDir::cleanPath(folder);
    int best = 0;
    qsizetype bestLength = -1;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const QString& root = volumes[i].root;
        if (lies(clean, root) && root.size() > bestLength) {
            best = static_cast<int>(i);
            bestLength = root.size();
        }
    }
    return best;
}

} // namespace controls
