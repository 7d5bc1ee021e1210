#include "places/script_search.h"
#include "places/script_search_linux.h"
#include "places/wine_prefixes_linux.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <unistd.h>

class tst_ScriptSearchLinux : public QObject {
    Q_OBJECT

private slots:
    void newestScript_data();
    void newestScript();
};

void tst_ScriptSearchLinux::newestScript_data() {
    // A made-up home: "PATH = N" a file modified N days after a fixed day, "PATH -> TARGET" a
    // link, "PATH !" a folder nobody may read. $A and $B stand for two Wine prefixes' drive_c, B
    // reached through a link as $WINEPREFIX may lead to it; $HOME for the home folder.
    QTest::addColumn<QStringList>("layout");
    QTest::addColumn<QString>("found"); // relative to home, or empty

    const QString roaming = "$A/users/ann/AppData/Roaming/mIRC/";
    QTest::newRow("none") << QStringList{} << QString();
    QTest::newRow("the newest of each place")
        << QStringList{roaming + "morvane.mrc = 3", "$B/Program Files (x86)/mIRC/s/morvane.mrc = 5",
                       "$B/Program Files/mIRC/morvane.mrc = 2", "mIRC/morvane.mrc = 4"}
        << "$B/Program Files (x86)/mIRC/s/morvane.mrc";
    QTest::newRow("four folders down, not five")
        << QStringList{roaming + "1/2/3/4/morvane.mrc = 1", roaming + "1/2/3/4/5/morvane.mrc = 9"}
        << roaming + "1/2/3/4/morvane.mrc";
    QTest::newRow("any letter case; no folder, link or other name")
        << QStringList{"mIRC/MorVane.MRC = 1", "mIRC/t/morvane.mrc/x = 9", "mIRC/a.mrc = 9",
                       "mIRC/l/morvane.mrc -> $HOME/x/morvane.mrc", "x/morvane.mrc = 9"}
        << "mIRC/MorVane.MRC";
    QTest::newRow("nothing outside the places")
        << QStringList{"morvane.mrc = 9", "$A/users/ann/Documents/mIRC/morvane.mrc = 9",
                       "mIRC/morvane.mrc = 1"}
        << "mIRC/morvane.mrc";
    QTest::newRow("links in a loop or out of the place")
        << QStringList{"mIRC/loop -> $HOME/mIRC", "mIRC/out -> $HOME/y", "y/morvane.mrc = 9",
                       roaming + "morvane.mrc = 1"}
        << roaming + "morvane.mrc";
    QTest::newRow("an unreadable folder passed over")
        << QStringList{roaming + "locked !", "$B/Program Files/mIRC !", "mIRC/morvane.mrc = 1"}
        << "mIRC/morvane.mrc";
}

void tst_ScriptSearchLinux::newestScript() {
    QFETCH(QStringList, layout);
    QFETCH(QString, found);
    if (layout.join(' ').contains(" !") && geteuid() == 0)
        QSKIP("root reads every folder: run as a user to see one passed over");

    QTemporaryDir temporary;
    const QDir home(temporary.path());
    const QString bottles = ".local/share/bottles/bottles/";
    for (const QString prefix : {"A", "B"}) {
        QVERIFY(home.mkpath(bottles + prefix + "/dosdevices"));
        QVERIFY(QFile::link("../drive_c", home.filePath(bottles + prefix + "/dosdevices/c:")));
    }
    QVERIFY(QFile::link(home.filePath(bottles + "B"), home.filePath("linkB")));
    const auto expand = [&](QString text) {
        return text.replace("$A", bottles + "A/drive_c")
            .replace("$B", "linkB/drive_c")
            .replace("$HOME", home.path());
    };
    QStringList locked;
    for (const QString& line : layout) {
        const QStringList parts = line.split(QRegularExpression(" (=|->|!)( |$)"));
        const QString path = home.filePath(expand(parts[0]));
        QVERIFY(home.mkpath(QFileInfo(path).path()));
        QFile file(path);
        if (line.contains(" -> ")) {
            QVERIFY(QFile::link(expand(parts[1]), path));
        } else if (line.contains(" = ")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(
                QDateTime::fromSecsSinceEpoch(1'600'000'000 + parts[1].toInt() * 24 * 3600),
                QFileDevice::FileModificationTime));
        } else {
            // The newest script of all inside shows whether the folder was read.
            QVERIFY(home.mkpath(path));
            QFile newest(path + "/morvane.mrc");
            QVERIFY(newest.open(QIODevice::WriteOnly));
            QVERIFY(QFile::setPermissions(path, {}));
            locked << path;
        }
    }

    const QString prefixB = home.filePath("linkB");
    const QString got = places::newestScript(places::scriptFolders(home.path(), prefixB));
    for (const QString& path : locked)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(got.isEmpty() ? QString() : home.relativeFilePath(got), expand(found));
    // The drive list must take a script in a prefix for one on that prefix's c: drive.
    const auto drives = places::wineVolumes(home.path(), prefixB);
    QCOMPARE(found.startsWith('$'), std::any_of(drives.begin(), drives.end(), [&](const auto& c) {
                 return got.startsWith(c.root + '/');
             }));
}

QTEST_GUILESS_MAIN(tst_ScriptSearchLinux)
#include "tst_script_search_linux.moc"
