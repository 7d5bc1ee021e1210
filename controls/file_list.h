#pragma once

#include <QListWidget>

namespace places {
class FolderWatch;
}

namespace controls {

// The file list: the current folder's "*.mrc" files, matched without regard to case, sorted by
// name. Hidden files are left out, and so is anything that is not a regular file (or a link to
// one): opening a FIFO, socket or device as a script would hang the program. Entries show each
// name's readable form; names and folders are held as places/native_name.h describes. The list
// follows its folder on disk: a script copied in or removed shows by itself, the selection kept by
// name.
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Reads folder's entries, none selected. Throws FolderError, leaving the list as it was, when
    // the folder cannot be listed.
    void setFolder(const QString& folder);
    // Reads the folder again, keeping the selected and the framed entry by name where they are
    // still there. Throws as setFolder does.
    void reread();
    QString path() const { return folder; }
    // The selected entry's name as the file system has it, or an empty text when none is
    // selected.
    QString fileName() const;
    // Selects the entry named name, as the file system has it (or, failing that, in other
    // letter case, as Windows would open it), and brings it into view. False when the list holds
    // no such entry.
    bool select(const QString& name);

signals:
    // The list has read its folder again by itself, after a change on disk.
    void refreshed();
    // The user asked for the list's menu (a right click, the menu key or Shift+F10), to be shown
    // at globalPosition: at the pointer, or beside the selected entry when asked from the keyboard.
    void menuRequested(const QPoint& globalPosition);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void fill(const QStringList& names);
    QPoint besideSelected() const;
    void folderChanged();

    QString folder;
    places::FolderWatch* watch;
};

} // namespace controls
