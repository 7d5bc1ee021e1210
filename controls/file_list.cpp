#include "controls/file_list.h"

#include "controls/not_text_font.h"
#include "places/folder_entries.h"
#include "places/folder_error.h"
#include "places/folder_watch.h"
#include "places/native_name.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>

namespace controls {

namespace {

// The name as the file system has it; the item's text is its readable form.
constexpr int nameRole = Qt::UserRole;

QStringList scripts(const QString& folder) {
    return places::visibleEntries(folder, places::EntryKind::file, u".mrc");
}

} // namespace

FileList::FileList(QWidget* parent)
    : QListWidget(parent)
    , watch(new places::FolderWatch(this)) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(watch, &places::FolderWatch::changed, this, &FileList::folderChanged);
}

void FileList::setFolder(const QString& newFolder) {
    const QStringList names = scripts(newFolder);
    folder = newFolder;
    watch->follow(folder);
    fill(names);
    setCurrentRow(-1);
}

void FileList::reread() {
    const QStringList names = scripts(folder);
    const QString chosen = fileName();
    const QString framed = currentItem() ? currentItem()->data(nameRole).toString() : QString();
    const int scrolled = verticalScrollBar()->value();
    fill(names);
    setCurrentRow(-1);
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* entry = item(row);
        if (entry->data(nameRole).toString() == framed)
            setCurrentItem(entry, QItemSelectionModel::NoUpdate);
        if (entry->data(nameRole).toString() == chosen)
            entry->setSelected(true);
    }
    verticalScrollBar()->setValue(scrolled);
}

void FileList::fill(const QStringList& names) {
    clear();
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(places::readableName(name), this);
        item->setData(nameRole, name);
        const QString note = places::notTextNote(name);
        if (!note.isEmpty()) {
            item->setToolTip(note);
            item->setFont(notTextFont());
        }
    }
}

// A folder that can no longer be listed keeps its entries: the folder list, which follows the
// same folder, moves the browser away from it.
void FileList::folderChanged() {
    try {
        reread();
    } catch (const places::FolderError&) {
        return;
    }
    emit refreshed();
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
    // Shift+F10 is the menu key on a keyboard that has none; not every platform turns either
    // into a menu request.
    const bool menuKey = (event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier) ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (menuKey) {
        emit menuRequested(besideSelected());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

// A menu asked for from the keyboard would otherwise open wherever the pointer happens to be.
void FileList::contextMenuEvent(QContextMenuEvent* event) {
    emit menuRequested(event->reason() == QContextMenuEvent::Keyboard ? besideSelected()
                                                                      : event->globalPos());
    event->accept();
}

QPoint FileList::besideSelected() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    const QRect shown = selected.isEmpty() ? QRect() : visualItemRect(selected.first());
    return viewport()->mapToGlobal(shown.isValid() ? shown.center() : QPoint(0, 0));
}

QString FileList::fileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(nameRole).toString();
}

bool FileList::select(const QString& name) {
    for (const Qt::CaseSensitivity letters : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (int row = 0; row < count(); ++row) {
            QListWidgetItem* entry = item(row);
            if (entry->data(nameRole).toString().compare(name, letters) == 0) {
                setCurrentItem(entry);
                scrollToItem(entry);
                return true;
            }
        }
    }
    return false;
}

} // namespace controls
