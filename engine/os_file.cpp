#include "os_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace engine::os {

namespace {

FaultPlan* faultPlan = nullptr;

int injectedFault() noexcept {
    if (!faultPlan)
        return 0;
    return ++faultPlan->operations == faultPlan->failAt ? faultPlan->error : 0;
}

int errorOr(int fallback) {
    return errno != 0 ? errno : fallback;
}

} // namespace

void setFaultPlan(FaultPlan* plan) noexcept {
    faultPlan = plan;
}

std::FILE* open(const fs::path& path, const char* mode, int& error) {
    if ((error = injectedFault()))
        return nullptr;
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), mode);
    error = file ? 0 : errorOr(EIO);
    return file;
}

int write(std::FILE* file, std::string_view bytes) {
    if (const int fault = injectedFault())
        return fault;
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        return errorOr(EIO);
    return 0;
}

int readAll(std::FILE* file, std::size_t sizeHint, std::size_t limit, std::string& bytes) {
    if (const int fault = injectedFault())
        return fault;
    if (sizeHint > limit)
        return EFBIG;
    // One byte more than expected, so that reaching the end needs no second buffer, and room for
    // what the patch adds (a few dozen bytes in a script), so that the rules need none either.
    bytes.reserve(sizeHint + 1 + sizeHint / 1024 + 4096);
    adviseLargePages(bytes.data(), bytes.capacity());
    bytes.resize(sizeHint + 1);
    std::size_t used = 0;
    errno = 0;
    for (;;) {
        used += std::fread(bytes.data() + used, 1, bytes.size() - used, file);
        if (used < bytes.size())
            break;
        if (used > limit)
            return EFBIG;
        bytes.resize(std::min(bytes.size() * 2, limit + 1)); // the file grew while it was read
    }
    bytes.resize(used);
    return std::ferror(file) ? errorOr(EIO) : 0;
}

int sync(std::FILE* file) {
    if (const int fault = injectedFault())
        return fault;
    if (std::fflush(file) != 0)
        return errorOr(EIO);
    if (::fsync(::fileno(file)) != 0)
        return errorOr(EIO);
    return 0;
}

int close(std::FILE* file) {
    const int fault = injectedFault();
    errno = 0;
    const int result = std::fclose(file);
    if (fault)
        return fault;
    return result == 0 ? 0 : errorOr(EIO);
}

int status(const fs::path& path, fs::file_status& result) {
    if (const int fault = injectedFault())
        return fault;
    std::error_code error;
    result = fs::status(path, error);
    return error.value();
}

int linkStatus(const fs::path& path, fs::file_status& result) {
    if (const int fault = injectedFault())
        return fault;
    std::error_code error;
    result = fs::symlink_status(path, error);
    return error.value();
}

int resolveLinks(const fs::path& path, fs::path& result) {
    if (const int fault = injectedFault())
        return fault;
    std::error_code error;
    result = fs::canonical(path, error);
    return error.value();
}

int setPermissions(const fs::path& path, fs::perms permissions) {
    if (const int fault = injectedFault())
        return fault;
    std::error_code error;
    fs::permissions(path, permissions, error);
    return error.value();
}

int rename(const fs::path& from, const fs::path& to) {
    if (const int fault = injectedFault())
        return fault;
    std::error_code error;
    fs::rename(from, to, error);
    return error.value();
}

int createFolders(const fs::path& folder) {
    if (const int fault = injectedFault())
        return fault;
    std::error_code error;
    fs::create_directories(folder, error);
    return error.value();
}

void remove(const fs::path& path) noexcept {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void syncFolder(const fs::path& folder) noexcept {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void copyOwnership(const fs::path& original, std::FILE* file) noexcept {
    struct stat wanted {};
    struct stat own {};
    if (::stat(original.c_str(), &wanted) != 0 || ::fstat(::fileno(file), &own) != 0)
        return;
    if (own.st_uid == wanted.st_uid && own.st_gid == wanted.st_gid)
        return;
    if (::fchown(::fileno(file), wanted.st_uid, wanted.st_gid) != 0)
        return; // not ours to give away: the file stays with whoever patched it
}

void adviseLargePages(void* data, std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
    // Only whole, aligned large pages can be given; the kernel hands out the rest as before.
    constexpr std::uintptr_t large = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + large - 1) & ~(large - 1);
    const std::uintptr_t end = (start + size) & ~(large - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

std::size_t memoryForAScript() noexcept {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::size_t{1} << 30;
    return static_cast<std::size_t>(pages) / 4 * static_cast<std::size_t>(pageSize);
}

std::size_t maxNameLength(const fs::path& folder) noexcept {
    errno = 0;
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

} // namespace engine::os
