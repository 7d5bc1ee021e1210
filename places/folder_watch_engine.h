#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace places {

// The system's own notices of changes in one folder at a time, which FolderWatch settles. Each
// system has its own: folder_watch_linux.cpp, folder_watch_windows.cpp.
class FolderWatchEngine {
public:
    virtual ~FolderWatchEngine() = default;
    // From now on, calls the noticed function for each change to folder, and for none of the
    // folder followed before. The folder followed already keeps its watch, unless it has gone.
    virtual void follow(const QString& folder) = 0;
};

std::unique_ptr<FolderWatchEngine> systemFolderWatch(std::function<void()> noticed);

} // namespace places
