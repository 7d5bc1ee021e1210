#pragma once

// What the list tests share: making files, reading back what a list shows, and checks that each
// system's tests run with names of their own.

#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "places/folder_error.h"
#include "places/native_name.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <filesystem>
#include <memory>
#include <vector>

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
    QVERIFY_THROWS_EXCEPTION(places::FolderError, files.setFolder(bad));
    QCOMPARE(files.path(), readable);
    QCOMPARE(entries(files), QStringList{"kept.mrc"});

    controls::DirList dirs;
    dirs.setDrive(readable, "c:", readable);
    QVERIFY_THROWS_EXCEPTION(places::FolderError, dirs.setPath(bad));
    QCOMPARE(dirs.currentFolder(), readable);
    QVERIFY_THROWS_EXCEPTION(places::FolderError, dirs.setDrive(bad, "d:", bad));
    QCOMPARE(dirs.currentFolder(), readable);
}

// The drive list reads the drives again each time it is opened, keeping the selected drive and the
// folder remembered on it (`folder`, made inside scratch/usb beforehand) across the readings.
inline void expectDrivesReadAgain(const QString& scratch, const QString& folder) {
    const auto volume = [&](const char* drive) {
        QDir(scratch).mkpath(drive);
        return places::Volume{QDir(scratch).filePath(drive), drive, {}};
    };
    auto attached =
        std::make_shared<std::vector<places::Volume>>(std::vector{volume("c"), volume("usb")});
    controls::DriveList list([attached] { return *attached; });
    const auto open = [&] {
        list.showPopup();
        list.hidePopup();
    };
    list.setCurrentIndex(1);
    list.rememberFolder(folder);
    QCOMPARE(list.folder(), folder);
    QSignalSpy changes(&list, &QComboBox::currentIndexChanged);

    // Mounted since, d sorts before the selected drive: selection and folder stay, quietly.
    attached->insert(attached->begin() + 1, volume("d"));
    open();
    QCOMPARE(list.count(), 3);
    QCOMPARE(list.currentText(), "usb");
    QCOMPARE(list.folder(), folder);
    QCOMPARE(changes.count(), 0);

    // The selected drive pulled out: the first drive takes its place, as a drive change.
    attached->pop_back();
    open();
    QCOMPARE(list.count(), 2);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(list.currentIndex(), 0);

    // Plugged in again, it finds the folder it was left in; a reading that finds nothing keeps
    // the drives there are.
    attached->push_back(volume("usb"));
    open();
    list.setCurrentIndex(2);
    QCOMPARE(list.folder(), folder);
    attached->clear();
    open();
    QCOMPARE(list.count(), 3);
}

} // namespace list_helpers
