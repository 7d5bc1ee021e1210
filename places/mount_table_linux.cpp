// The mount table is read with libmount, which knows its format and undoes its escapes. Qt's list
// of mounted volumes comes from /proc/self/mounts, which does not say when a mount is a bind mount
// of part of a file system (or of a single file), and it decodes mount points as UTF-8, so that
// one whose name is other bytes could not be opened again.

#include "places/mount_table_linux.h"

#include "places/native_name.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <libmount/libmount.h>
#include <memory>
#include <string_view>

namespace places {

namespace {

// File systems that are the kernel's or the system's own business, never a user's medium.
constexpr std::array<std::string_view, 30> pseudoFileSystems{
    "autofs",      "binfmt_misc",   "bpf",      "cgroup",    "cgroup2",         "configfs",
    "debugfs",     "devpts",        "devtmpfs", "efivarfs",  "fuse.gvfsd-fuse", "fuse.lxcfs",
    "fuse.portal", "fuse.snapfuse", "fusectl",  "hugetlbfs", "mqueue",          "nfsd",
    "nsfs",        "overlay",       "proc",     "pstore",    "ramfs",           "rpc_pipefs",
    "securityfs",  "selinuxfs",     "squashfs", "sysfs",     "tmpfs",           "tracefs"};

constexpr std::array<std::string_view, 4> userDataPlaces{"/home", "/media", "/mnt", "/run/media"};

struct TableFree {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
struct IterFree {
    void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};

bool isPseudo(std::string_view fsType) {
    return std::find(pseudoFileSystems.begin(), pseudoFileSystems.end(), fsType) !=
           pseudoFileSystems.end();
}

bool holdsUserData(std::string_view mountPoint) {
    return std::any_of(userDataPlaces.begin(), userDataPlaces.end(), [&](std::string_view place) {
        return mountPoint == place ||
               (mountPoint.size() > place.size() && mountPoint.substr(0, place.size()) == place &&
                mountPoint[place.size()] == '/');
    });
}

std::string_view field(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

// A mount point is bytes like any other path; kept exactly, it can still be opened.
QString pathOf(std::string_view bytes) {
    return fromNative(std::filesystem::path(std::string(bytes)));
}

std::vector<Mount> userMountsOf(libmnt_table* table) {
    std::vector<Mount> mounts;
    const std::unique_ptr<libmnt_iter, IterFree> iter(mnt_new_iter(MNT_ITER_FORWARD));
    if (!iter)
        return mounts;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table, iter.get(), &fs) == 0) {
        const std::string_view target = field(mnt_fs_get_target(fs));
        const QString mountPoint = pathOf(target);
        // A later mount on the same point hides the earlier one.
        std::erase_if(mounts, [&](const Mount& m) { return m.mountPoint == mountPoint; });
        if (field(mnt_fs_get_root(fs)) != "/" || isPseudo(field(mnt_fs_get_fstype(fs))) ||
            !holdsUserData(target))
            continue;
        mounts.push_back({pathOf(field(mnt_fs_get_source(fs))), mountPoint});
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const Mount& a, const Mount& b) { return a.mountPoint < b.mountPoint; });
    return mounts;
}

} // namespace

std::vector<Mount> userMounts(std::string_view mountInfo) {
    if (mountInfo.empty())
        return {};
    // libmount reads a stream; the text is only read through it, never written.
    const std::unique_ptr<std::FILE, FileClose> stream(
        fmemopen(const_cast<char*>(mountInfo.data()), mountInfo.size(), "r"));
    const std::unique_ptr<libmnt_table, TableFree> table(mnt_new_table());
    // A line libmount cannot read is skipped, as it skips such lines unless told otherwise.
    if (!stream || !table || mnt_table_parse_stream(table.get(), stream.get(), "mountinfo") != 0)
        return {};
    return userMountsOf(table.get());
}

std::vector<Mount> userMounts() {
    const std::unique_ptr<libmnt_table, TableFree> table(mnt_new_table());
    if (!table || mnt_table_parse_file(table.get(), "/proc/self/mountinfo") != 0)
        return {};
    return userMountsOf(table.get());
}

} // namespace places
