#include "places/folder_entries.h"

#include "places/folder_error.h"
#include "places/hidden_entry.h"
#include "places/native_name.h"

#include <QCollator>
#include <algorithm>
#include <filesystem>
#include <vector>

namespace places {

namespace fs = std::filesystem;

namespace {

bool isKind(const fs::directory_entry& entry, EntryKind kind) {
    std::error_code unreadable; // a dangling link, say: neither kind
    return kind == EntryKind::folder ? entry.is_directory(unreadable)
                                     : entry.is_regular_file(unreadable);
}

struct SortedName {
    QCollatorSortKey key;
    QString name;
};

} // namespace

QStringList visibleEntries(const QString& folder, EntryKind kind, QStringView suffix) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<SortedName> found;
    std::error_code error;
    for (fs::directory_iterator entry(toNative(folder), error), end; !error && entry != end;
         entry.increment(error)) {
        if (isHidden(entry->path()) || !isKind(*entry, kind))
            continue;
        QString name = fromNative(entry->path().filename());
        if (!name.endsWith(suffix, Qt::CaseInsensitive))
            continue;
        // Folded first: not every collator honours case insensitivity (the C locale's does not).
        found.push_back({collator.sortKey(readableName(name).toCaseFolded()), std::move(name)});
    }
    if (error)
        throw FolderError(error, folder);

    // Names that read alike keep one order from one listing to the next.
    std::sort(found.begin(), found.end(), [](const SortedName& a, const SortedName& b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.name < b.name;
    });
    QStringList names;
    names.reserve(static_cast<qsizetype>(found.size()));
    for (SortedName& entry : found)
        names.append(std::move(entry.name));
    return names;
}

} // namespace places
