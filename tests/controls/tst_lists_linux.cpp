// The lists on a POSIX system: names that are bytes in no encoding, links, FIFOs, sockets and
// devices, and folders closed by their permissions.

#include "tests/controls/list_helpers.h"

#include <array>
#include <fstream>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

using namespace list_helpers;

namespace {

// The bytes a name stands for on disk.
QByteArray bytesOf(const QString& name) {
    return QByteArray::fromStdString(places::toNative(name).native());
}

// The folder watches the process holds, as the kernel counts them.
int inotifyWatches() {
    int watches = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : descriptors.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        std::array<char, 64> target{};
        const QByteArray link = QFile::encodeName(descriptors.filePath(fd));
        const ssize_t length = ::readlink(link.constData(), target.data(), target.size() - 1);
        if (length <= 0 || std::string_view(target.data()) != "anon_inode:inotify")
            continue;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + fd);
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n'))
            watches += line.startsWith("inotify wd:");
    }
    return watches;
}

} // namespace

class tst_ListsLinux : public QObject {
    Q_OBJECT

private slots:
    void namesInAnyEncoding_data();
    void namesInAnyEncoding();
    void namesThatReadAlikeAreToldApart();
    void fileListSkipsSpecialFiles();
    void folderWithoutPermission();
    void driveListRereadsWhenOpened();
    void listsLetGoOfFoldersLeft();
};

void tst_ListsLinux::namesInAnyEncoding_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("latin-1") << QByteArray("caf\xE9.mrc") << "caf\\xE9.mrc";
    QTest::newRow("cut-off sequence") << QByteArray("Z\xE2\x9C.MRC") << "Z\\xE2\\x9C.MRC";
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xB2\x80.mrc") << "\\xED\\xB2\\x80.mrc";
    // U+10080 is D800 DC80 in UTF-16: a real character, though its second half is in the range
    // that stands for bytes.
    QTest::newRow("astral character")
        << QByteArray("\xF0\x90\x82\x80.mrc") << QString::fromUtf8("\xF0\x90\x82\x80.mrc");
}

// A script in a folder, both named by the same bytes: listed, entered and chosen by the user,
// each shown in its readable form and handed back as its own bytes.
void tst_ListsLinux::namesInAnyEncoding() {
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);
    NativeScratch drive;
    QVERIFY(std::filesystem::create_directory(drive / name));
    QVERIFY(std::filesystem::create_directory(drive / ("." + name)));
    std::ofstream(drive / (name + "/" + name));
    std::ofstream(drive / (name + "/." + name));

    controls::DirList dirs;
    dirs.setDrive(drive.path(), "c:", drive.path());
    QCOMPARE(folderRows(dirs), (QStringList{"c:", ">" + shown}));
    QCOMPARE(dirs.topLevelItem(0)->child(0)->font(0).italic(), shown.contains("\\x"));
    QSignalSpy activated(&dirs, &controls::DirList::folderActivated);
    dirs.setCurrentItem(dirs.topLevelItem(0)->child(0));
    QTest::keyClick(&dirs, Qt::Key_Return);
    dirs.setPath(activated.at(0).at(0).toString());
    QCOMPARE(bytesOf(dirs.currentFolder()), drive.path().toUtf8() + "/" + name);

    controls::FileList files;
    files.setFolder(dirs.path());
    QCOMPARE(entries(files), QStringList{shown});
    files.item(0)->setSelected(true);
    QCOMPARE(bytesOf(files.fileName()), name);

    // Such a folder is followed on disk as well.
    std::ofstream(drive / (name + "/more.mrc"));
    QTRY_COMPARE(files.count(), 2);
    QCOMPARE(bytesOf(files.fileName()), name);
}

void tst_ListsLinux::namesThatReadAlikeAreToldApart() {
    NativeScratch folder;
    std::ofstream(folder / "caf\xE9.mrc");
    std::ofstream(folder / "caf\\xE9.mrc");
    controls::FileList list;
    list.setFolder(folder.path());
    QCOMPARE(entries(list), (QStringList{"caf\\xE9.mrc", "caf\\xE9.mrc"}));
    // The look-alike sorts first; the Latin-1 name is drawn apart and its tool tip says why.
    QVERIFY(!list.item(0)->font().italic() && list.item(1)->font().italic());
    QCOMPARE(list.item(0)->toolTip(), QString());
    QVERIFY2(list.item(1)->toolTip().endsWith("not text.\nBytes: 63 61 66 E9 2E 6D 72 63"),
             qPrintable(list.item(1)->toolTip()));
}

void tst_ListsLinux::fileListSkipsSpecialFiles() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    touch(folder.filePath("real.mrc"));
    QVERIFY(QDir(folder.path()).mkdir("folder.mrc"));
    QVERIFY(QFile::link(folder.filePath("real.mrc"), folder.filePath("link.mrc")));
    QVERIFY(QFile::link(folder.filePath("gone.txt"), folder.filePath("dangling.mrc")));
    QVERIFY(QFile::link(folder.filePath("folder.mrc"), folder.filePath("folderlink.mrc")));
    QCOMPARE(::mkfifo(QFile::encodeName(folder.filePath("pipe.mrc")).constData(), 0600), 0);
    QVERIFY(QFile::link("/dev/null", folder.filePath("device.mrc")));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(folder.filePath("socket.mrc"));
    QVERIFY(socketPath.size() < qsizetype(sizeof(address.sun_path)));
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(listener);

    controls::FileList list;
    list.setFolder(folder.path());
    QCOMPARE(entries(list), (QStringList{"link.mrc", "real.mrc"}));
}

// Root reads every folder, so the folder is locked against a user whom permissions bind.
void tst_ListsLinux::folderWithoutPermission() {
    if (::geteuid() == 0)
        QSKIP("root reads every folder");
    QTemporaryDir scratch;
    touch(scratch.filePath("kept.mrc"));
    const QString bad = scratch.filePath("locked");
    QVERIFY(QDir(scratch.path()).mkdir("locked"));
    QVERIFY(QFile::setPermissions(bad, QFileDevice::Permissions{}));
    expectRefused(scratch.path(), bad);
    QFile::setPermissions(bad,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A folder named by bytes in no encoding is remembered across the drive list's readings as well.
void tst_ListsLinux::driveListRereadsWhenOpened() {
    NativeScratch scratch;
    QVERIFY(std::filesystem::create_directories(scratch / "usb/caf\xE9"));
    expectDrivesReadAgain(scratch.path(), places::fromNative(scratch / "usb/caf\xE9"));
}

// Each list watches the one folder it shows: moving on lets the last one go, and a list closed
// lets go of its own.
void tst_ListsLinux::listsLetGoOfFoldersLeft() {
    QTemporaryDir drive;
    for (const char* folder : {"a", "b", "c"})
        QVERIFY(QDir(drive.path()).mkdir(folder));
    const int before = inotifyWatches();
    {
        controls::DirList dirs;
        controls::FileList files;
        dirs.setDrive(drive.path(), "c:", drive.path());
        files.setFolder(drive.path());
        for (const char* folder : {"a", "b", "c"}) {
            dirs.setPath(drive.filePath(folder));
            files.setFolder(drive.filePath(folder));
        }
        dirs.reread();
        files.reread();
        QCOMPARE(inotifyWatches(), before + 2);
    }
    QCOMPARE(inotifyWatches(), before);
}

QTEST_MAIN(tst_ListsLinux)
#include "tst_lists_linux.moc"
