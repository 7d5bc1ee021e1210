#include "os_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::os {

int syncToDisk(std::FILE* file) {
    if (std::fflush(file) != 0)
        return errno;
    if (::fsync(::fileno(file)) != 0)
        return errno;
    return 0;
}

void syncFolder(const std::filesystem::path& folder) noexcept {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void copyOwnership(const std::filesystem::path& original, std::FILE* file) noexcept {
    struct stat status {};
    if (::stat(original.c_str(), &status) != 0)
        return;
    struct stat own {};
    if (::fstat(::fileno(file), &own) != 0)
        return;
    if (own.st_uid == status.st_uid && own.st_gid == status.st_gid)
        return;
    if (::fchown(::fileno(file), status.st_uid, status.st_gid) != 0)
        return; // not ours to give away: the file stays with whoever patched it
}

} // namespace engine::os
