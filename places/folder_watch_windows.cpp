// Windows: the folder's entries looked at twice a second. A change notice needs a handle open on
// the folder for as long as it is followed, and a folder with a handle open on it cannot go: its
// removal waits for the handle, and so the removal of every folder above it fails. Under Wine
// that held on for good. Looking afresh keeps nothing open between looks.

#include "places/folder_watch_engine.h"

#include <QDirIterator>
#include <QTimer>

namespace places {

namespace {

constexpr int lookMilliseconds = 500;

// What a list shows of the folder, and whether the folder is there: a new look that differs is a
// change. Attributes count, as a file made hidden leaves the lists.
size_t entriesOf(const QString& folder) {
    QDirIterator entries(folder,
                         QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!entries.hasNext() && !QFileInfo(folder).isDir())
        return 0;
    size_t seen = 1;
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        seen = qHashMulti(seen, entry.fileName(), entry.isHidden(), entry.isDir());
    }
    return seen;
}

class LookAgain : public FolderWatchEngine {
public:
    explicit LookAgain(std::function<void()> noticed)
        : noticed(std::move(noticed)) {
        QObject::connect(&looking, &QTimer::timeout, &looking, [this] { look(); });
        looking.setInterval(lookMilliseconds);
    }

    void follow(const QString& folder) override {
        if (folder == followed && looking.isActive())
            return;
        followed = folder;
        lastSeen = entriesOf(folder);
        looking.start();
    }

private:
    void look() {
        const size_t seen = entriesOf(followed);
        if (seen == lastSeen)
            return;
        lastSeen = seen;
        noticed();
    }

    std::function<void()> noticed;
    QTimer looking;
    QString followed;
    size_t lastSeen = 0;
};

} // namespace

std::unique_ptr<FolderWatchEngine> systemFolderWatch(std::function<void()> noticed) {
    return std::make_unique<LookAgain>(std::move(noticed));
}

} // namespace places
