#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace places {

enum class EntryKind { folder, file };

// The names (see native_name.h) of folder's entries of the given kind whose names end in suffix,
// ignoring case. A link counts as what it leads to; hidden entries are left out, and so is any
// file that is not a regular one, since opening a FIFO or device as a script would hang. The
// names come in the order the lists show them: by their readable form, ignoring case, as the
// user's language sorts. Throws FolderError when the folder cannot be listed.
QStringList visibleEntries(const QString& folder, EntryKind kind, QStringView suffix = {});

} // namespace places
