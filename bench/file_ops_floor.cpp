// file-ops-floor SCRIPT LOGFOLDER
// The file operations of one patch run with no text work at all: read the script once, append
// it to LOGFOLDER/parselog.log, write it to SCRIPT.bak and twice over SCRIPT, each write going to
// a temporary file that is flushed to disk and renamed over the target, as a run does. A whole
// run cannot be faster than this on the same disk.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

class Fd {
public:
    explicit Fd(int fd)
        : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    void close(const std::string& what) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            fail(what);
    }

private:
    int fd_;
};

// Memory the kernel hands out in large pages where it can, left unset for read to fill: the
// cheapest memory to read a file into, so the floor is the least a run can cost.
class Memory {
public:
    explicit Memory(std::size_t size)
        : size_(std::max<std::size_t>(size, 1)) {
        void* data =
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
            fail("allocate memory");
        data_ = static_cast<char*>(data);
        ::madvise(data_, size_, MADV_HUGEPAGE);
    }
    Memory(const Memory&) = delete;
    Memory& operator=(const Memory&) = delete;
    ~Memory() { ::munmap(data_, size_); }
    char* data() const { return data_; }

private:
    std::size_t size_;
    char* data_ = nullptr;
};

void writeAll(int fd, const char* data, std::size_t size, const std::string& what) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(what);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void syncFolder(const fs::path& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

void replaceFile(const fs::path& target, const char* data, std::size_t size) {
    const fs::path temporary = target.parent_path() / ".floor.tmp";
    Fd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
    if (fd.get() < 0)
        fail("create " + temporary.string());
    writeAll(fd.get(), data, size, "write " + temporary.string());
    if (::fsync(fd.get()) != 0)
        fail("flush " + temporary.string());
    fd.close("close " + temporary.string());
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        fail("rename over " + target.string());
    syncFolder(target.parent_path());
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: file-ops-floor SCRIPT LOGFOLDER\n");
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const fs::path script = fs::absolute(argv[1]);
        const fs::path log = fs::path(argv[2]) / "parselog.log";

        Fd in(::open(script.c_str(), O_RDONLY));
        struct stat status {};
        if (in.get() < 0 || ::fstat(in.get(), &status) != 0)
            fail("open " + script.string());
        const auto size = static_cast<std::size_t>(status.st_size);
        const Memory bytes(size);
        std::size_t used = 0;
        while (used < size) {
            const ssize_t got = ::read(in.get(), bytes.data() + used, size - used);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                fail("read " + script.string());
            used += static_cast<std::size_t>(got);
        }
        in.close("close " + script.string());

        Fd out(::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644));
        if (out.get() < 0)
            fail("open " + log.string());
        writeAll(out.get(), bytes.data(), size, "append to " + log.string());
        if (::fsync(out.get()) != 0)
            fail("flush " + log.string());
        out.close("close " + log.string());

        fs::path backup = script;
        backup += ".bak";
        replaceFile(backup, bytes.data(), size);
        replaceFile(script, bytes.data(), size);
        replaceFile(script, bytes.data(), size);

        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        std::printf("run_ms=%.1f\n", took.count());
        return EXIT_SUCCESS;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "file-ops-floor: %s\n", failure.what());
        return EXIT_FAILURE;
    }
}
