// Windows: Qt's watcher, which waits for the system's change notices on a thread of its own.

#include "controls/folder_watch_engine.h"

#include <QFileSystemWatcher>

namespace controls {

namespace {

class ChangeNotices : public FolderWatchEngine {
public:
    explicit ChangeNotices(std::function<void()> noticed) {
        // A notice of the folder left may still be on its way from the watcher's thread; it
        // costs the folder followed now one more reading, nothing else.
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &watcher,
                         [noticed = std::move(noticed)] { noticed(); });
    }

    // The watcher lets go of a folder that has gone by itself.
    void follow(const QString& folder) override {
        const QStringList before = watcher.directories();
        if (before == QStringList{folder})
            return;
        if (!before.isEmpty())
            watcher.removePaths(before);
        watcher.addPath(folder);
    }

private:
    QFileSystemWatcher watcher;
};

} // namespace

std::unique_ptr<FolderWatchEngine> systemFolderWatch(std::function<void()> noticed) {
    return std::make_unique<ChangeNotices>(std::move(noticed));
}

} // namespace controls
