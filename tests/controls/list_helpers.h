#pragma once

// What the list tests share: making files, reading back what a list shows.

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/folder_error.h"
#include "controls/native_name.h"

#include <QByteArray>
#include <QFile>
#include <QListWidget>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <filesystem>

namespace list_helpers {

inline void touch(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

// A temporary folder for names in any encoding, which QTemporaryDir can neither name nor remove.
struct NativeScratch : QTemporaryDir {
    ~NativeScratch() { std::filesystem::remove_all(path().toStdString()); }
    std::filesystem::path operator/(const QByteArray& name) const {
        return std::filesystem::path(path().toStdString()) / name.toStdString();
    }
};

inline QStringList entries(const QListWidget& list) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names << list.item(i)->text();
    return names;
}

inline QStringList folderRows(QTreeWidget& tree) {
    QStringList rows;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
            ++depth;
        rows << QString(depth, QLatin1Char('>')) + (*it)->text(0);
    }
    return rows;
}

// Neither list takes a folder it cannot read: each keeps the folder it had.
inline void expectRefused(const QString& readable, const QString& bad) {
    controls::FileList files;
    files.setFolder(readable);
    QVERIFY_THROWS_EXCEPTION(controls::FolderError, files.setFolder(bad));
    QCOMPARE(files.path(), readable);
    QCOMPARE(entries(files), QStringList{"kept.mrc"});

    controls::DirList dirs;
    dirs.setDrive(readable, "c:", readable);
    QVERIFY_THROWS_EXCEPTION(controls::FolderError, dirs.setPath(bad));
    QCOMPARE(dirs.currentFolder(), readable);
    QVERIFY_THROWS_EXCEPTION(controls::FolderError, dirs.setDrive(bad, "d:", bad));
    QCOMPARE(dirs.currentFolder(), readable);
}

} // namespace list_helpers
