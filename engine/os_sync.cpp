#include "os_sync.h"

#include <cerrno>
#include <fcntl.h>
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

} // namespace engine::os
