#pragma once

#include <QListWidget>

namespace controls {

// The file list: the current folder's "*.mrc" files, matched without regard to case, sorted by
// name. Hidden files are left out, and so is anything that is not a regular file (or a link to
// one): opening a FIFO, socket or device as a script would hang the program. Entries show each
// name's readable form; names and folders are held as native_name.h describes.
class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Reads folder's entries, none selected. Throws FolderError, leaving the list as it was, when
    // the folder cannot be listed. The list never rereads its folder by itself.
    void setFolder(const QString& folder);
    QString path() const { return folder; }
    // The selected entry's name as the file system has it, or an empty text when none is
    // selected.
    QString fileName() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString folder;
};

} // namespace controls
