#include "controls/drive_list.h"

#include "controls/accessibility.h"
#include "places/native_name.h"

#include <QDir>
#include <QSignalBlocker>
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

DriveList::DriveList(places::VolumeSource source_, QWidget* parent)
    : QComboBox(parent)
    , source(std::move(source_))
    , volumes(source()) {
    installAccessibility();
    fill();
}

void DriveList::fill() {
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    clear();
    for (const places::Volume& volume : volumes)
        addItem(icon, places::volumeText(volume));
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
    const QString& root = volumes[index].root;
    const QString remembered = folders.value(root, root);
    // A folder removed since the drive was last visited sends the drive back to its root; only
    // an unreadable root means the drive itself cannot be used.
    std::error_code error;
    if (remembered != root && !std::filesystem::is_directory(places::toNative(remembered), error))
        return root;
    return remembered;
}

void DriveList::rememberFolder(const QString& folder) {
    const QString root = this->root();
    if (!root.isEmpty() && lies(folder, root))
        folders.insert(root, folder);
}

int DriveList::indexOfFolder(const QString& folder) const {
    const QString clean = QDir::cleanPath(folder);
    int best = -1;
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

void DriveList::rereadDrives() {
    std::vector<places::Volume> fresh = source();
    // With nothing to show instead, the drives known so far stay.
    if (fresh.empty())
        return;
    // A drive is known by its name as well as its root: Wine's z: is "/" under another name, and
    // taking one for the other would show a drive the folder list does not.
    const int index = currentIndex();
    int kept = -1;
    for (std::size_t i = 0; i < fresh.size() && index >= 0 && kept < 0; ++i) {
        if (fresh[i].root == volumes[index].root && fresh[i].name == volumes[index].name)
            kept = static_cast<int>(i);
    }
    {
        const QSignalBlocker quiet(this);
        volumes = std::move(fresh);
        fill();
        setCurrentIndex(kept);
    }
    // The drive the browser showed is gone: the first drive takes its place, as a drive change.
    if (kept < 0)
        setCurrentIndex(0);
}

void DriveList::showPopup() {
    rereadDrives();
    QComboBox::showPopup();
}

} // namespace controls
