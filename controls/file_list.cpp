#include "file_list.h"

#include "folder_error.h"

#include <QDir>
#include <QKeyEvent>

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

// Focus frames the first entry without choosing it, and Qt's arrow keys move on from there, so
// the first entry, often the only one, could never be chosen from the keyboard.
void FileList::keyPressEvent(QKeyEvent* event) {
    const bool arrow = event->key() == Qt::Key_Down || event->key() == Qt::Key_Up;
    if (arrow && event->modifiers() == Qt::NoModifier && selectedItems().isEmpty() &&
        currentItem()) {
        currentItem()->setSelected(true);
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

} // namespace controls
