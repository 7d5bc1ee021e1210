// Linux: inotify, given the folder's own bytes. Qt's watcher would take the name as UTF-8 text
// and miss every folder whose name is not.

#include "places/folder_watch_engine.h"

#include "places/native_name.h"

#include <QSocketNotifier>
#include <array>
#include <cstdint>
#include <sys/inotify.h>
#include <unistd.h>

namespace places {

namespace {

// An entry made, removed or renamed, or the folder itself gone; the kernel adds its unmounting.
constexpr std::uint32_t watchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

struct InotifyInstance {
    InotifyInstance()
        : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~InotifyInstance() {
        if (fd >= 0)
            ::close(fd);
    }
    InotifyInstance(const InotifyInstance&) = delete;
    InotifyInstance& operator=(const InotifyInstance&) = delete;
    const int fd;
};

class InotifyWatch : public FolderWatchEngine {
public:
    explicit InotifyWatch(std::function<void()> noticed_)
        : noticed(std::move(noticed_)) {
        // Without an instance (the user's limit reached) the lists are read only when opened.
        if (instance.fd < 0)
            return;
        readable = std::make_unique<QSocketNotifier>(instance.fd, QSocketNotifier::Read);
        QObject::connect(readable.get(), &QSocketNotifier::activated, readable.get(),
                         [this] { readNotices(); });
    }

    void follow(const QString& folder) override {
        if (instance.fd < 0 || (folder == watched && watch >= 0))
            return;
        if (watch >= 0)
            inotify_rm_watch(instance.fd, watch);
        // A folder watched anew gets a number of its own, so notices of the one before, still
        // queued, are told apart.
        watched = folder;
        watch = inotify_add_watch(instance.fd, toNative(folder).c_str(), watchedChanges);
    }

private:
    void readNotices() {
        alignas(inotify_event) std::array<char, 4096> buffer;
        bool ours = false;
        for (;;) {
            const ssize_t length = ::read(instance.fd, buffer.data(), buffer.size());
            if (length <= 0)
                break;
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
                // An overflowed queue may have lost any notice, this folder's among them.
                ours = ours || event->wd == watch || (event->mask & IN_Q_OVERFLOW);
                if (event->wd == watch && (event->mask & IN_IGNORED))
                    watch = -1; // the folder is gone and its watch with it
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (ours)
            noticed();
    }

    std::function<void()> noticed;
    InotifyInstance instance;
    std::unique_ptr<QSocketNotifier> readable; // declared after the instance: it goes first
    QString watched;
    int watch = -1;
};

} // namespace

std::unique_ptr<FolderWatchEngine> systemFolderWatch(std::function<void()> noticed) {
    return std::make_unique<InotifyWatch>(std::move(noticed));
}

} // namespace places
