#include "places/script_search.h"

#include "places/native_name.h"

#include <filesystem>
#include <string_view>

namespace places {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view scriptName = "morvane.mrc";
// A script kept in scripts/morvane/4.8/ under the chat client's folder is three folders down;
// four leaves one to spare without reading the client's whole tree of logs and downloads.
constexpr int deepest = 4;

bool isScriptName(const fs::path& name) {
    const auto& text = name.native();
    if (text.size() != scriptName.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int letter = text[i];
        const int lower = letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter;
        if (lower != scriptName[i])
            return false;
    }
    return true;
}

struct Newest {
    fs::path path;
    fs::file_time_type time;
};

// The entries' kinds come with the folder's listing, so only the scripts themselves cost a
// look at the file.
void search(const fs::path& folder, int depth, Newest& newest) {
    std::error_code error;
    fs::directory_iterator entries(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::directory_entry& entry = *entries;
        std::error_code unknown;
        if (entry.is_symlink(unknown))
            continue;
        if (entry.is_directory(unknown)) {
            if (depth < deepest)
                search(entry.path(), depth + 1, newest);
            continue;
        }
        if (!isScriptName(entry.path().filename()) || !entry.is_regular_file(unknown))
            continue;
        const fs::file_time_type time = entry.last_write_time(unknown);
        if (!unknown && (newest.path.empty() || time > newest.time))
            newest = {entry.path(), time};
    }
}

} // namespace

QString newestScript(const QStringList& folders) {
    Newest newest;
    for (const QString& folder : folders)
        search(toNative(folder), 0, newest);
    return newest.path.empty() ? QString() : fromNative(newest.path);
}

} // namespace places
