#include "controls/file_list.h"

#include "controls/folder_entries.h"
#include "controls/native_name.h"

#include <QKeyEvent>

namespace controls {

namespace {

// The name as the file system has it; the item's text is its readable form.
constexpr int nameRole = Qt::UserRole;

} // namespace

FileList::FileList(QWidget* parent)
    : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileList::setFolder(const QString& newFolder) {
    const QStringList names = visibleEntries(newFolder, EntryKind::file, u".mrc");

    folder = newFolder;
    clear();
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(readableName(name), this);
        item->setData(nameRole, name);
        const QString note = notTextNote(name);
        if (!note.isEmpty()) {
            item->setToolTip(note);
            item->setFont(notTextFont());
        }
    }
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
    return selected.isEmpty() ? QString() : selected.first()->data(nameRole).toString();
}

} // namespace controls
