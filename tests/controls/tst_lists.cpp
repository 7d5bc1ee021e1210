#include "tests/controls/list_helpers.h"
#include "tests/system_names.h"

using namespace list_helpers;

class tst_Lists : public QObject {
    Q_OBJECT

private slots:
    void fileListEntries_data();
    void fileListEntries();
    void fileListSelection();
    void fileListFollowsItsFolder();
    void fileListArrowKeySelectsFromTheTop();
    void unreadableFolder_data();
    void unreadableFolder();
    void dirListShowsAncestorsAndSubfolders();
    void dirListPath();
    void dirListActivation();
    void dirListFollowsItsFolder();
    void dirListShowsTheWayBackUp_data();
    void dirListShowsTheWayBackUp();
    void driveListRereadsWhenOpened();
};

void tst_Lists::fileListEntries_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("none") << QStringList{"readme.txt", "mrc", "x.mrc.bak"} << QStringList{};
    QTest::newRow("letter case ignored, sorted by name")
        << QStringList{"zeta.mrc", "Morvane.MRC", "alpha.Mrc", "notes.txt"}
        << QStringList{"alpha.Mrc", "Morvane.MRC", "zeta.mrc"};
    QTest::newRow("hidden left out")
        << QStringList{".morvane.mrc", "shown.mrc"} << QStringList{"shown.mrc"};
    if (test_support::systemTakesName("<b>x<i>.mrc"))
        QTest::newRow("markup in names kept as typed")
            << QStringList{"<b>x<i>.mrc"} << QStringList{"<b>x<i>.mrc"};
}

void tst_Lists::fileListEntries() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, listed);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const QString& name : files)
        touch(folder.filePath(name));

    controls::FileList list;
    list.setFolder(folder.path());
    QCOMPARE(entries(list), listed);
    QCOMPARE(list.path(), folder.path());
}

void tst_Lists::fileListSelection() {
    QTemporaryDir first;
    QTemporaryDir second;
    touch(first.filePath("a.mrc"));
    touch(second.filePath("b.mrc"));

    controls::FileList list;
    list.setFolder(first.path());
    QCOMPARE(list.fileName(), QString());
    list.item(0)->setSelected(true);
    QCOMPARE(list.fileName(), "a.mrc");

    list.setFolder(second.path());
    QCOMPARE(list.fileName(), QString());
    QVERIFY(list.selectedItems().isEmpty());
}

// A script copied in or removed shows by itself, the selection kept by name; the folder the list
// has left is no longer followed.
void tst_Lists::fileListFollowsItsFolder() {
    QTemporaryDir left;
    QTemporaryDir shown;
    touch(shown.filePath("b.mrc"));
    controls::FileList list;
    list.setFolder(left.path());
    list.setFolder(shown.path());
    list.item(0)->setSelected(true);
    QSignalSpy refreshed(&list, &controls::FileList::refreshed);

    touch(shown.filePath("a.mrc"));
    QTRY_COMPARE(entries(list), (QStringList{"a.mrc", "b.mrc"}));
    QCOMPARE(list.fileName(), "b.mrc");
    QVERIFY(QFile::rename(shown.filePath("a.mrc"), shown.filePath("c.mrc")));
    QTRY_COMPARE(entries(list), (QStringList{"b.mrc", "c.mrc"}));
    QCOMPARE(list.fileName(), "b.mrc");
    QVERIFY(QFile::remove(shown.filePath("b.mrc")));
    QTRY_COMPARE(entries(list), QStringList{"c.mrc"});
    QCOMPARE(list.fileName(), QString());

    const qsizetype seen = refreshed.count();
    touch(left.filePath("x.mrc"));
    QTest::qWait(500);
    QCOMPARE(refreshed.count(), seen);
    QCOMPARE(entries(list), QStringList{"c.mrc"});
}

void tst_Lists::fileListArrowKeySelectsFromTheTop() {
    QTemporaryDir folder;
    touch(folder.filePath("only.mrc"));
    controls::FileList list;
    list.setFolder(folder.path());
    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    list.setFocus();

    // Focus alone frames the first entry without choosing it; the first arrow key chooses it.
    QCOMPARE(list.fileName(), QString());
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.fileName(), "only.mrc");
}

void tst_Lists::unreadableFolder_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("gone") << "gone";
    QTest::newRow("a file") << "file";
}

void tst_Lists::unreadableFolder() {
    QFETCH(QString, kind);
    QTemporaryDir scratch;
    touch(scratch.filePath("kept.mrc"));
    QString bad = scratch.filePath(kind);
    if (kind == "file")
        touch(bad);
    expectRefused(scratch.path(), bad);
}

void tst_Lists::dirListShowsAncestorsAndSubfolders() {
    QTemporaryDir drive;
    QDir root(drive.path());
    QVERIFY(root.mkpath("mirc/scripts/Morvane"));
    QVERIFY(root.mkpath("mirc/scripts/extra"));
    QVERIFY(root.mkpath("mirc/scripts/.hidden"));
    QVERIFY(root.mkpath("other"));
    touch(root.filePath("mirc/scripts/file.mrc"));

    controls::DirList list;
    list.setDrive(drive.path(), "c:", drive.filePath("mirc/scripts"));
    QCOMPARE(folderRows(list), (QStringList{"c:", ">mirc", ">>scripts", ">>>extra", ">>>Morvane"}));
    QCOMPARE(list.currentItem()->text(0), "scripts");

    list.setPath(drive.path());
    QCOMPARE(folderRows(list), (QStringList{"c:", ">mirc", ">other"}));
}

void tst_Lists::dirListPath() {
    QTemporaryDir drive;
    QVERIFY(QDir(drive.path()).mkdir("sub"));
    controls::DirList list;
    list.setDrive(drive.path(), "c:", drive.path());
    QCOMPARE(list.path(), drive.path() + "/");
    list.setPath(drive.filePath("sub"));
    QCOMPARE(list.path(), drive.filePath("sub"));
    list.setDrive("/", "/", "/");
    QCOMPARE(list.path(), "/");
}

void tst_Lists::dirListActivation() {
    QTemporaryDir drive;
    QVERIFY(QDir(drive.path()).mkdir("sub"));
    controls::DirList list;
    list.setDrive(drive.path(), "c:", drive.path());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy activated(&list, &controls::DirList::folderActivated);
    QTreeWidgetItem* sub = list.currentItem()->child(0);
    const QPoint centre = list.visualItemRect(sub).center();

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(activated.count(), 0);
    QCOMPARE(list.currentItem(), sub);
    QCOMPARE(list.currentFolder(), drive.path());

    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.takeFirst().at(0).toString(), drive.filePath("sub"));

    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.takeFirst().at(0).toString(), drive.filePath("sub"));
}

// A subfolder made or removed shows by itself, the highlighted folder kept; the current folder
// removed is told, for the window to move the browser.
void tst_Lists::dirListFollowsItsFolder() {
    QTemporaryDir drive;
    QDir root(drive.path());
    QVERIFY(root.mkpath("mirc/logs"));
    controls::DirList list;
    list.setDrive(drive.path(), "c:", drive.filePath("mirc"));
    list.setCurrentItem(list.findItems("logs", Qt::MatchExactly | Qt::MatchRecursive)[0]);
    QSignalSpy gone(&list, &controls::DirList::folderGone);

    QVERIFY(root.mkpath("mirc/backup"));
    QTRY_COMPARE(folderRows(list), (QStringList{"c:", ">mirc", ">>backup", ">>logs"}));
    QCOMPARE(list.currentItem()->text(0), "logs");
    QVERIFY(root.rmdir("mirc/logs"));
    QTRY_COMPARE(folderRows(list), (QStringList{"c:", ">mirc", ">>backup"}));
    QCOMPARE(gone.count(), 0);

    QVERIFY(QDir(drive.filePath("mirc")).removeRecursively());
    QTRY_COMPARE(gone.count(), 1);
    QCOMPARE(list.nearestListable(), drive.path());
}

void tst_Lists::dirListShowsTheWayBackUp_data() {
    QTest::addColumn<int>("depth");
    QTest::newRow("shallow") << 2;
    QTest::newRow("deep") << 14;
}

// After a move the current folder is in sight with as many of its ancestors as fit, the root at
// the top when they all do, in a list the size of the main window's, scrolled far down before.
void tst_Lists::dirListShowsTheWayBackUp() {
    QFETCH(int, depth);
    QTemporaryDir drive;
    QDir root(drive.path());
    for (int i = 0; i < 30; ++i)
        QVERIFY(root.mkdir(QStringLiteral("top%1").arg(i, 2, 10, QLatin1Char('0'))));
    const QString path = "top29" + QString("/level").repeated(depth - 1);
    for (const char* sub : {"/a", "/b", "/c"})
        QVERIFY(root.mkpath(path + sub));

    controls::DirList list;
    list.resize(129, 141);
    list.setDrive(drive.path(), "c:", drive.path());
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.scrollToBottom();
    list.setPath(root.filePath(path));

    // In sight means the rows: a deep folder's indent may take it past the list's right edge,
    // wider on some styles than others, where the horizontal scroll bar reaches it.
    const QRect view = list.viewport()->rect();
    const auto inSight = [&](const QRect& row) {
        return view.top() <= row.top() && row.bottom() <= view.bottom();
    };
    QTreeWidgetItem* current = list.currentItem();
    QVERIFY(inSight(list.visualItemRect(current)));
    const int fits = view.height() / list.visualItemRect(current).height();
    int ancestorsShown = 0;
    for (QTreeWidgetItem* up = current->parent(); up; up = up->parent())
        ancestorsShown += inSight(list.visualItemRect(up));
    QCOMPARE(ancestorsShown, std::min(depth, fits - 1));
    if (depth < fits)
        QCOMPARE(list.visualItemRect(list.topLevelItem(0)).top(), 0);
}

void tst_Lists::driveListRereadsWhenOpened() {
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString folder = scratch.filePath(QString::fromUtf8("usb/Caf\u00e9 \u2713"));
    QVERIFY(QDir().mkpath(folder));
    expectDrivesReadAgain(scratch.path(), folder);
}

QTEST_MAIN(tst_Lists)
#include "tst_lists.moc"
