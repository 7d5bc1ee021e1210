#pragma once

#include <QTreeWidget>

namespace places {
class FolderWatch;
}

namespace controls {

// The folder list: the current folder's ancestors from the drive's root down, drawn open, the
// current folder, then its visible subfolders, drawn closed, each indented by its depth.
// A double-click or Enter asks for a folder to become current; a single click only highlights.
// Only the program changes the current folder, so it can handle the change before going on.
// Rows show each name's readable form; folders are held as places/native_name.h describes. The list
// follows its current folder on disk: a subfolder made or removed shows by itself.
class DirList : public QTreeWidget {
    Q_OBJECT

public:
    explicit DirList(QWidget* parent = nullptr);

    // Makes folder, on the drive rooted at root, current. rootText names the root in the list.
    // Throws FolderError, leaving the list as it was, when the folder cannot be listed.
    void setDrive(const QString& root, const QString& rootText, const QString& folder);
    // Makes folder on the current drive current; throws as setDrive does.
    void setPath(const QString& folder);
    // Reads the current folder again, keeping the highlighted folder and the scrolling where
    // they still are. Throws as setDrive does.
    void reread();
    // The current folder or, when it is gone, its nearest ancestor on the drive that can still
    // be listed; an empty text when not even the drive's root can.
    QString nearestListable() const;

    // The current folder: a drive's root ends in a separator, any other folder does not.
    QString path() const;
    QString currentFolder() const { return folder; }

    // The folders shown, counted from the top row: how screen readers number them.
    int shownCount() const;
    QModelIndex shownAt(int row) const;
    // The row of a folder shown, or -1.
    int rowOf(const QModelIndex& index) const;

signals:
    void folderActivated(const QString& folder);
    // The current folder can no longer be listed (removed or renamed); the list still shows it.
    void folderGone();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    // The classic folder list shows depth by indentation alone, without expand arrows.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    QTreeWidgetItem* addFolder(QTreeWidgetItem* parent, const QString& name, const QString& path,
                               const QIcon& icon);
    void revealCurrent();
    void folderChanged();

    QString root;
    QString rootText;
    QString folder;
    QTreeWidgetItem* current = nullptr; // the current folder's row, owned by the tree
    places::FolderWatch* watch;
};

} // namespace controls
