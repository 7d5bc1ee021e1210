#include "controls/dir_list.h"

#include "controls/accessibility.h"
#include "controls/not_text_font.h"
#include "places/folder_entries.h"
#include "places/folder_error.h"
#include "places/folder_watch.h"
#include "places/native_name.h"

#include <QAccessible>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidgetItemIterator>

namespace controls {

namespace {

constexpr int pathRole = Qt::UserRole;

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

DirList::DirList(QWidget* parent)
    : QTreeWidget(parent)
    , watch(new places::FolderWatch(this)) {
    installAccessibility();
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(8);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        emit folderActivated(item->data(0, pathRole).toString());
    });
    connect(watch, &places::FolderWatch::changed, this, &DirList::folderChanged);
}

void DirList::setDrive(const QString& newRoot, const QString& newRootText,
                       const QString& newFolder) {
    const QString cleanRoot = QDir::cleanPath(newRoot);
    const QString cleanFolder = QDir::cleanPath(newFolder);
    places::requireListable(cleanRoot);
    const QStringList subfolders = places::visibleEntries(cleanFolder, places::EntryKind::folder);

    root = cleanRoot;
    rootText = newRootText;
    folder = cleanFolder;
    watch->follow(folder);

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* item = addFolder(nullptr, rootText, root, open);
    QString path = root;
    const QString relative = QDir(root).relativeFilePath(folder);
    if (folder != root) {
        for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            path = withSeparator(path) + part;
            item = addFolder(item, part, path, open);
        }
    }
    current = item;
    for (const QString& name : subfolders)
        addFolder(current, name, withSeparator(folder) + name, closed);
    expandAll();
    setCurrentItem(current);
    revealCurrent();
}

void DirList::setPath(const QString& newFolder) {
    setDrive(root, rootText, newFolder);
}

void DirList::reread() {
    const QString highlighted =
        currentItem() ? currentItem()->data(0, pathRole).toString() : QString();
    const int scrolled = verticalScrollBar()->value();
    setDrive(root, rootText, folder);
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if ((*it)->data(0, pathRole).toString() == highlighted)
            setCurrentItem(*it);
    }
    verticalScrollBar()->setValue(scrolled);
}

QString DirList::nearestListable() const {
    for (QString at = folder;; at = QDir::cleanPath(at + QStringLiteral("/.."))) {
        try {
            places::requireListable(at);
            return at;
        } catch (const places::FolderError&) {
            if (at == root || !at.startsWith(root))
                return {};
        }
    }
}

void DirList::folderChanged() {
    try {
        reread();
    } catch (const places::FolderError&) {
        emit folderGone();
    }
}

QString DirList::path() const {
    return folder == root ? withSeparator(folder) : folder;
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        emit folderActivated(currentItem()->data(0, pathRole).toString());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// Every folder of the list is shown, the tree being drawn fully open.
QModelIndex DirList::shownAt(int row) const {
    if (row < 0)
        return {};
    QModelIndex index = model()->index(0, 0);
    for (int i = 0; i < row && index.isValid(); ++i)
        index = indexBelow(index);
    return index;
}

int DirList::shownCount() const {
    int count = 0;
    for (QModelIndex index = shownAt(0); index.isValid(); index = indexBelow(index))
        ++count;
    return count;
}

int DirList::rowOf(const QModelIndex& index) const {
    int row = 0;
    for (QModelIndex at = shownAt(0); at.isValid(); at = indexBelow(at), ++row) {
        if (at == index)
            return row;
    }
    return -1;
}

// QTreeView tells screen readers of these changes counting its header as the first row, hidden
// or not; the list has no header for them, so it tells them itself.
void DirList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    if (QAccessible::isActive() && current.isValid()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(rowOf(current));
        QAccessible::updateAccessibility(&event);
    }
}

void DirList::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!QAccessible::isActive())
        return;
    for (const auto& [indexes, type] :
         {std::pair{selected.indexes(), QAccessible::SelectionAdd},
          std::pair{deselected.indexes(), QAccessible::SelectionRemove}}) {
        if (indexes.isEmpty() || !indexes.first().isValid())
            continue;
        QAccessibleEvent event(this, type);
        event.setChild(rowOf(indexes.first()));
        QAccessible::updateAccessibility(&event);
    }
}

// The current folder comes into sight with as many of its ancestors as fit above it: from the
// top, the root first, when the whole line fits; otherwise the current folder at the bottom
// and its nearest ancestors above it. The way back up is then always in view.
void DirList::revealCurrent() {
    if (!current)
        return;
    scrollToTop();
    scrollToItem(current, QAbstractItemView::EnsureVisible);
}

// A root's text is the drive's; any other folder shows its name's readable form, and a name that
// is not valid text says so in its tool tip.
QTreeWidgetItem* DirList::addFolder(QTreeWidgetItem* parent, const QString& name,
                                    const QString& path, const QIcon& icon) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, parent ? places::readableName(name) : name);
    item->setIcon(0, icon);
    item->setData(0, pathRole, path);
    const QString note = parent ? places::notTextNote(name) : QString();
    item->setToolTip(0, note.isEmpty() ? places::readablePath(path)
                                       : places::readablePath(path) + QLatin1Char('\n') + note);
    if (!note.isEmpty())
        item->setFont(0, notTextFont());
    return item;
}

} // namespace controls
