// The script the window opens by itself: the one found at start-up, a path from the command line
// and a file dropped on the window.

#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "places/script_search.h"
#include "tests/controls/box_answerer.h"
#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_patch.h"

#include <QDateTime>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

using namespace frmpatch_helpers;

class tst_OpenedScript : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("morvane-patch"); }
    void opened_data();
    void opened();
    void foundAtStartUp_data();
    void foundAtStartUp();
};

namespace {

// Environment variables set for one test, put back as they were when it ends.
class Environment {
public:
    ~Environment() {
        for (const auto& [name, value, wasSet] : saved) {
            if (wasSet)
                qputenv(name, value);
            else
                qunsetenv(name);
        }
    }
    void set(const char* name, const QString& value) {
        saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv(name, QFile::encodeName(value));
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> saved;
};

// Where the chat client keeps the script on each system, inside the test's machine: the user's
// own folder, the program's folder on C: and one on D:. On Linux the user's own folder is in the
// Wine prefix ~/.wine, with $WINEPREFIX naming a second prefix on D:.
#ifdef Q_OS_WIN
constexpr char usersScript[] = "c/Users/ann/AppData/Roaming/mIRC/scripts/morvane.mrc";
constexpr char programsScript[] = "c/Program Files (x86)/mIRC/morvane.mrc";
constexpr char otherDriveScript[] = "d/Program Files/mIRC/morvane.mrc";
#else
constexpr char usersScript[] = "c/home/.wine/drive_c/users/ann/AppData/Roaming/mIRC/scripts/"
                               "morvane.mrc";
constexpr char programsScript[] = "c/home/mIRC/morvane.mrc";
constexpr char otherDriveScript[] = "d/wine/drive_c/Program Files (x86)/mIRC/morvane.mrc";
#endif

} // namespace

void tst_OpenedScript::opened_data() {
    QTest::addColumn<QString>("how");     // nothing found at start-up, given, dropped
    QTest::addColumn<QString>("path");    // in the machine; given ones relative to its folder
    QTest::addColumn<QString>("shown");   // drive index, folder, selected script
    QTest::addColumn<QString>("message"); // %1 the absolute path; empty for none
    const auto row = [](const char* name, const char* how, const char* path, const char* shown,
                        const char* message = "") {
        QTest::newRow(name) << how << path << shown << message;
    };

    row("none found: the first drive's root", "found", "", "0 c ");
    row("given a script by a roundabout path", "given", "./d/../c/mirc/scripts/other.mrc",
        "0 c/mirc/scripts other.mrc");
    row("given a folder", "given", "d/backup", "1 d/backup ");
    row("given a missing path", "given", "c/mirc/gone/deeper/morvane.mrc", "0 c/mirc ",
        "There is no file or folder \"%1\". The nearest folder that exists is shown.");
    row("given a file that is no script", "given", "c/mirc/scripts/readme.txt", "0 c/mirc/scripts ",
        "\"%1\" is not a mIRC script (*.mrc), so it cannot be patched. The folder it is in is "
        "shown.");
    row("given a folder on no drive", "given", "elsewhere", "0 c ",
        "\"%1\" is on none of the drives in the drive list.");
    row("dropped script", "dropped", "d/backup/morvane.mrc", "1 d/backup morvane.mrc");
}

void tst_OpenedScript::opened() {
    QFETCH(QString, how);
    QFETCH(QString, path);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    Machine machine;
    for (const char* script : {"c/mirc/scripts/morvane.mrc", "c/mirc/scripts/other.mrc",
                               "c/mirc/scripts/readme.txt", "d/backup/morvane.mrc"})
        writeFile(machine.path(script), unpatchedScript());
    QDir(machine.path({})).mkpath("elsewhere");
    frmPatch window(machine.volumes());
    window.show();

    BoxAnswerer answerer({QMessageBox::Ok});
    if (how == "found") {
        window.selectFound({});
    } else if (how == "given") {
        const QString working = QDir::currentPath();
        QVERIFY(QDir::setCurrent(machine.path({})));
        window.openGiven(QDir::toNativeSeparators(path));
        QDir::setCurrent(working);
    } else {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(machine.path(path))});
        const QPoint at(window.width() / 2, window.height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
    }
    const auto browser = [&] {
        const QDir root(machine.path({}));
        return QString::number(control<controls::DriveList>(window, "Drive1")->currentIndex()) +
               ' ' +
               root.relativeFilePath(control<controls::DirList>(window, "Dir1")->currentFolder()) +
               ' ' + control<controls::FileList>(window, "File1")->fileName();
    };
    QTRY_COMPARE(browser(), shown);
    QCOMPARE(answerer.seen.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(answerer.seen[0].text,
                 message.arg(QDir::toNativeSeparators(QDir::cleanPath(machine.path(path)))));
    }
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), QString());
    // Nothing is patched until the user presses Patch.
    QCOMPARE(readFile(machine.path("c/mirc/scripts/morvane.mrc")), unpatchedScript());
}

void tst_OpenedScript::foundAtStartUp_data() {
    QTest::addColumn<QString>("older");
    QTest::addColumn<QString>("newer");
    QTest::addColumn<int>("drive"); // the drive list's index for the newer one
    QTest::newRow("the user's own, newer") << programsScript << usersScript << 0;
    QTest::newRow("the program folder's, newer") << usersScript << programsScript << 0;
    QTest::newRow("on another drive, newer") << usersScript << otherDriveScript << 1;
}

// The search as the program makes it when it starts, in a made-up home and made-up Wine prefixes
// (on Windows, made-up user and program folders).
void tst_OpenedScript::foundAtStartUp() {
    QFETCH(QString, older);
    QFETCH(QString, newer);
    QFETCH(int, drive);
    Machine machine;
    Environment environment;
#ifdef Q_OS_WIN
    environment.set("APPDATA",
                    QDir::toNativeSeparators(machine.path("c/Users/ann/AppData/Roaming")));
    environment.set("ProgramFiles(x86)",
                    QDir::toNativeSeparators(machine.path("c/Program Files (x86)")));
    environment.set("ProgramFiles", QDir::toNativeSeparators(machine.path("d/Program Files")));
    environment.set("ProgramW6432", QDir::toNativeSeparators(machine.path("d/Program Files")));
#else
    QDir(machine.path({})).mkpath("c/home/.wine/dosdevices");
    QDir(machine.path({})).mkpath("d/wine/dosdevices");
    environment.set("HOME", machine.path("c/home"));
    environment.set("WINEPREFIX", machine.path("d/wine"));
#endif
    int day = 0;
    for (const QString& script : {older, newer}) {
        QDir(machine.path({})).mkpath(QFileInfo(machine.path(script)).path());
        QFile file(machine.path(script));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(QDateTime::fromSecsSinceEpoch(1'600'000'000 + ++day * 86'400),
                                 QFileDevice::FileModificationTime));
    }

    frmPatch window(machine.volumes());
    window.selectFound(places::newestScript(places::scriptFolders()));
    window.show();

    QCOMPARE(control<controls::DriveList>(window, "Drive1")->currentIndex(), drive);
    QCOMPARE(control<controls::DirList>(window, "Dir1")->currentFolder(),
             QFileInfo(machine.path(newer)).path());
    QCOMPARE(control<controls::FileList>(window, "File1")->fileName(), QString("morvane.mrc"));
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), QString());
}

QTEST_MAIN(tst_OpenedScript)
#include "tst_opened_script.moc"
