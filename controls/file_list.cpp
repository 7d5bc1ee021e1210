#include "file_list.h"

#include "folder_error.h"

#include <QDir>

namespace controls {

FileList::FileList(QWidget* parent)
    : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileList::setFolder(const QString& newFolder) {
    requireListable(newFolder);
    QDir dir(newFolder);
    dir.setNameFilters({QStringLiteral("*.mrc")});
    // Without QDir::System the listing already skips FIFOs, sockets and devices; the isFile test
    // below keeps them out however the platform classifies them.
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    QStringList names;
    for (const QFileInfo& entry : dir.entryInfoList()) {
        if (entry.isFile() && !entry.isHidden() &&
            entry.fileName().endsWith(QStringLiteral(".mrc"), Qt::CaseInsensitive))
            names.append(entry.fileName());
    }

    folder = newFolder;
    clear();
    addItems(names);
    setCurrentRow(-1);
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

} // namespace controls
