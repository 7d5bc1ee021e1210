#include "places/volumes.h"

#include "places/native_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <array>

namespace places {

namespace {

// File systems that are the kernel's or the system's own business, never a user's medium.
constexpr std::array<std::string_view, 28> pseudoFileSystems{
    "autofs",      "binfmt_misc",   "bpf",      "cgroup",    "cgroup2",         "configfs",
    "debugfs",     "devpts",        "devtmpfs", "efivarfs",  "fuse.gvfsd-fuse", "fuse.lxcfs",
    "fuse.portal", "fuse.snapfuse", "fusectl",  "hugetlbfs", "mqueue",          "nfsd",
    "nsfs",        "overlay",       "proc",     "pstore",    "ramfs",           "rpc_pipefs",
    "securityfs",  "selinuxfs",     "squashfs", "sysfs"};

constexpr std::array<std::string_view, 4> userDataPlaces{"/home", "/media", "/mnt", "/run/media"};

bool isPseudo(std::string_view fsType) {
    return fsType == "tmpfs" || fsType == "tracefs" ||
           std::find(pseudoFileSystems.begin(), pseudoFileSystems.end(), fsType) !=
               pseudoFileSystems.end();
}

bool holdsUserData(std::string_view mountPoint) {
    return std::any_of(userDataPlaces.begin(), userDataPlaces.end(), [&](std::string_view place) {
        return mountPoint == place ||
               (mountPoint.size() > place.size() && mountPoint.substr(0, place.size()) == place &&
                mountPoint[place.size()] == '/');
    });
}

// The mount table writes space, tab, newline and backslash as three octal digits.
QString unescapeMountField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + i + 1, field.begin() + i + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    // A mount point is bytes like any other path; kept exactly, it can still be opened.
    return fromNative(std::filesystem::path(out));
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        if (end > start)
            fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// A Wine drive can carry a name of its own, as Wine reads it from the drive's root.
QString readLabelFile(const QString& root) {
    QFile file(root + QStringLiteral("/.windows-label"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

} // namespace

QString volumeText(const Volume& volume) {
    const QString name = readableName(volume.name);
    if (volume.label.isEmpty())
        return name;
    return name + QStringLiteral(" [") + volume.label + QLatin1Char(']');
}

std::vector<Mount> userMounts(std::string_view mountInfo) {
    std::vector<Mount> mounts;
    while (!mountInfo.empty()) {
        const std::size_t end = std::min(mountInfo.find('\n'), mountInfo.size());
        const std::vector<std::string_view> fields = splitFields(mountInfo.substr(0, end));
        mountInfo.remove_prefix(std::min(end + 1, mountInfo.size()));

        // id parent major:minor root mount-point options [optional fields...] - type source ...
        const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
        if (fields.size() < 5 || separator == fields.end() || fields.end() - separator < 3)
            continue;
        const std::string_view root = fields[3];
        const std::string_view fsType = separator[1];
        const QString mountPoint = unescapeMountField(fields[4]);
        // A later mount on the same point hides the earlier one.
        std::erase_if(mounts, [&](const Mount& m) { return m.mountPoint == mountPoint; });
        if (root != "/" || isPseudo(fsType) || !holdsUserData(mountPoint.toStdString()))
            continue;
        mounts.push_back({unescapeMountField(separator[2]), mountPoint});
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const Mount& a, const Mount& b) { return a.mountPoint < b.mountPoint; });
    return mounts;
}

std::vector<Volume> wineDrives(const QString& dosDevices, const QString& prefixName) {
    static const QRegularExpression letter(QStringLiteral("^[a-zA-Z]:$"));
    const QDir dir(dosDevices);
    const QString driveC = QFileInfo(dir.filePath(QStringLiteral("../drive_c"))).absoluteFilePath();
    std::vector<Volume> drives;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (!letter.match(name).hasMatch())
            continue;
        const QFileInfo entry(dir.filePath(name));
        // A dangling letter stays listed: it is a drive whose medium is missing.
        const QString root = entry.isSymLink() ? entry.symLinkTarget() : entry.absoluteFilePath();
        Volume volume{QDir::cleanPath(root), name.toLower(), {}};
        const QString ownLabel = readLabelFile(volume.root);
        if (!prefixName.isEmpty())
            volume.label = QStringLiteral("Wine: ") + prefixName +
                           (ownLabel.isEmpty() ? QString() : QStringLiteral(", ") + ownLabel);
        else if (ownLabel.isEmpty() && QDir::cleanPath(driveC) == volume.root)
            volume.label = QStringLiteral("Wine");
        else
            volume.label = ownLabel;
        drives.push_back(volume);
    }
    return drives;
}

} // namespace places
