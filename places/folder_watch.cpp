#include "places/folder_watch.h"

#include "places/folder_watch_engine.h"

namespace places {

namespace {

// Long enough to take a copy's creation and its renaming into place as one change.
constexpr int settleMilliseconds = 150;

} // namespace

FolderWatch::FolderWatch(QObject* parent)
    : QObject(parent)
    , engine(systemFolderWatch([this] { noticed(); })) {
    settling.setSingleShot(true);
    settling.setInterval(settleMilliseconds);
    connect(&settling, &QTimer::timeout, this, &FolderWatch::changed);
}

FolderWatch::~FolderWatch() = default;

void FolderWatch::follow(const QString& folder) {
    // What was noticed of the folder left is no news about the one followed now.
    if (folder != followed)
        settling.stop();
    followed = folder;
    engine->follow(folder);
}

// Not restarted by later notices: a folder that keeps changing is still read again.
void FolderWatch::noticed() {
    if (!settling.isActive())
        settling.start();
}

} // namespace places
