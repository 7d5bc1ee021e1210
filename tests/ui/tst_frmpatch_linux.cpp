// The main window on a POSIX system: names that are bytes in no encoding, and FIFOs.

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "tests/controls/box_answerer.h"
#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_patch.h"
#include "ui/log_folder.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace frmpatch_helpers;

class tst_FrmPatchLinux : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void patchButtonIgnoresAFifo();
    void patchRunOnNamesInAnyEncoding();
    void logFolderIsTheEffectiveUsersOwn_data();
    void logFolderIsTheEffectiveUsersOwn();
};

void tst_FrmPatchLinux::initTestCase() {
    QCoreApplication::setApplicationName("morvane-patch");
}

// A FIFO named like a script is no script: opening it would wait for a writer.
void tst_FrmPatchLinux::patchButtonIgnoresAFifo() {
    Machine machine;
    const QString folder = machine.path("c/mirc/scripts");
    QCOMPARE(::mkfifo(QFile::encodeName(folder + "/pipe.mrc").constData(), 0600), 0);
    frmPatch window(machine.volumes());
    emit control<controls::DirList>(window, "Dir1")->folderActivated(folder);
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), folder);
    QVERIFY(!control<QPushButton>(window, "cmdPatch")->isEnabled());
}

// A Latin-1 folder and script, entered and chosen as a user would and patched by their bytes.
void tst_FrmPatchLinux::patchRunOnNamesInAnyEncoding() {
    Machine machine;
    const std::filesystem::path folder =
        std::filesystem::path(machine.path("c").toStdString()) / "caf\xE9";
    QVERIFY(std::filesystem::create_directory(folder));
    std::ofstream(folder / "caf\xE9.mrc", std::ios::binary) << unpatchedScript().toStdString();
    frmPatch window(machine.volumes());
    auto* dirs = control<controls::DirList>(window, "Dir1");
    auto* files = control<controls::FileList>(window, "File1");
    dirs->setCurrentItem(dirs->findItems("caf\\xE9", Qt::MatchExactly | Qt::MatchRecursive)[0]);
    QTest::keyClick(dirs, Qt::Key_Return);
    QCOMPARE(files->findItems("caf\\xE9.mrc", Qt::MatchExactly).size(), 1);
    files->setCurrentRow(0);

    BoxAnswerer answerer({QMessageBox::Yes, QMessageBox::No});
    QTest::mouseClick(control<QPushButton>(window, "cmdPatch"), Qt::LeftButton);
    QCOMPARE(answerer.seen[0].text,
             "Are you sure you want to patch 'caf\\xE9.mrc' to version 4.8a?");
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), "File patched successfully!");
    const auto bytesOf = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return QByteArray::fromStdString({std::istreambuf_iterator<char>(in), {}});
    };
    QVERIFY(bytesOf(folder / "caf\xE9.mrc").contains("PT - Chat Partners"));
    QCOMPARE(bytesOf(folder / "caf\xE9.mrc.bak"), unpatchedScript());
    QVERIFY(readFile(machine.logFile()).contains(unpatchedScript()));
}

// Puts environment variables back as they were however the test ends.
struct EnvironmentKept {
    explicit EnvironmentKept(std::initializer_list<const char*> names) {
        for (const char* name : names)
            kept.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    }
    ~EnvironmentKept() {
        for (const auto& [name, set, value] : kept) {
            if (set)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
    }
    std::vector<std::tuple<const char*, bool, QByteArray>> kept;
};

void tst_FrmPatchLinux::logFolderIsTheEffectiveUsersOwn_data() {
    QTest::addColumn<QString>("home");      // whose folder HOME is: "own" or "theirs"
    QTest::addColumn<QString>("dataHome");  // XDG_DATA_HOME: unset, "own" or "theirs"
    QTest::addColumn<bool>("passwordHome"); // the log goes under the home the system gives
    QTest::newRow("sudo -E or su -m: the user's HOME") << "theirs"
                                                       << "" << true;
    QTest::newRow("su without a dash: the user's XDG_DATA_HOME") << "own"
                                                                 << "theirs" << true;
    QTest::newRow("both the user's") << "theirs"
                                     << "theirs" << true;
    QTest::newRow("own HOME") << "own"
                              << "" << false;
    QTest::newRow("own XDG_DATA_HOME") << "own"
                                       << "own" << false;
}

// Root's log must not lie in a folder another user controls, where a link would send root's
// writing anywhere: where HOME or XDG_DATA_HOME lead to another user's folder, it is kept under
// root's own home.
void tst_FrmPatchLinux::logFolderIsTheEffectiveUsersOwn() {
    if (::geteuid() != 0)
        QSKIP("only root can give a folder to another user");
    QFETCH(QString, home);
    QFETCH(QString, dataHome);
    QFETCH(bool, passwordHome);
    QTemporaryDir scratch;
    QVERIFY(QDir(scratch.path()).mkpath("own") && QDir(scratch.path()).mkpath("theirs"));
    const passwd* nobody = ::getpwnam("nobody");
    QVERIFY(nobody);
    QCOMPARE(::chown(QFile::encodeName(scratch.filePath("theirs")).constData(), nobody->pw_uid,
                     nobody->pw_gid),
             0);
    const EnvironmentKept kept{"HOME", "XDG_DATA_HOME"};
    qputenv("HOME", QFile::encodeName(scratch.filePath(home)));
    if (dataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath(dataHome) + "/.local/share"));
    const QString dataFolder = dataHome.isEmpty() ? scratch.filePath(home) + "/.local/share"
                                                  : scratch.filePath(dataHome) + "/.local/share";
    const QString expected =
        (passwordHome ? QFile::decodeName(::getpwuid(0)->pw_dir) + "/.local/share" : dataFolder) +
        "/morvane-patch";
    QCOMPARE(logFolder(), expected);
}

QTEST_MAIN(tst_FrmPatchLinux)
#include "tst_frmpatch_linux.moc"
