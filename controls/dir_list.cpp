#include "controls/dir_list.h"

#include "controls/folder_entries.h"
#include "controls/folder_error.h"
#include "controls/native_name.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

namespace controls {

namespace {

constexpr int pathRole = Qt::UserRole;

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

DirList::DirList(QWidget* parent)
    : QTreeWidget(parent) {
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
}

void DirList::setDrive(const QString& newRoot, const QString& newRootText,
                       const QString& newFolder) {
    const QString cleanRoot = QDir::cleanPath(newRoot);
    const QString cleanFolder = QDir::cleanPath(newFolder);
    requireListable(cleanRoot);
    const QStringList subfolders = visibleEntries(cleanFolder, EntryKind::folder);

    root = cleanRoot;
    rootText = newRootText;
    folder = cleanFolder;

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
    item->setText(0, parent ? readableName(name) : name);
    item->setIcon(0, icon);
    item->setData(0, pathRole, path);
    const QString note = parent ? notTextNote(name) : QString();
    item->setToolTip(0, note.isEmpty() ? readableName(path)
                                       : readableName(path) + QLatin1Char('\n') + note);
    if (!note.isEmpty())
        item->setFont(0, notTextFont());
    return item;
}

} // namespace controls
