// The main window on a POSIX system: names that are bytes in no encoding, and FIFOs.

#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "tests/controls/box_answerer.h"
#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_patch.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace frmpatch_helpers;

class tst_FrmPatchLinux : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void patchButtonIgnoresAFifo();
    void patchRunOnNamesInAnyEncoding();
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

QTEST_MAIN(tst_FrmPatchLinux)
#include "tst_frmpatch_linux.moc"
