// On Linux the chat client runs under Wine: its folders are inside the prefixes, and a user who
// copied it out keeps it in ~/mIRC.

#include "places/script_search_linux.h"

#include "places/native_name.h"
#include "places/script_search.h"
#include "places/wine_prefixes_linux.h"

#include <QDir>
#include <algorithm>
#include <filesystem>
#include <string_view>
#include <vector>

namespace places {

namespace {

namespace fs = std::filesystem;

// below, under each folder of parent whose name begins with start, in the order of the names;
// names that are not UTF-8 are kept as they are.
void addEach(QStringList& folders, const fs::path& parent, std::string_view start,
             const fs::path& below) {
    std::error_code error;
    fs::directory_iterator entries(parent, fs::directory_options::skip_permission_denied, error);
    std::vector<fs::path> found;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code unknown;
        if (entries->path().filename().native().starts_with(start) &&
            entries->is_directory(unknown))
            found.push_back(entries->path() / below);
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& folder : found)
        folders << fromNative(folder);
}

} // namespace

QStringList scriptFolders(const QString& home, const QString& winePrefixEnv) {
    QStringList folders;
    for (const WinePrefix& prefix : winePrefixes(home, winePrefixEnv)) {
        const fs::path driveC = toNative(prefix.path) / "drive_c";
        addEach(folders, driveC / "users", {}, "AppData/Roaming/mIRC");
        addEach(folders, driveC, "Program Files", "mIRC");
    }
    folders << home + QStringLiteral("/mIRC");
    return folders;
}

QStringList scriptFolders() {
    return scriptFolders(QDir::homePath(), qEnvironmentVariable("WINEPREFIX"));
}

} // namespace places
