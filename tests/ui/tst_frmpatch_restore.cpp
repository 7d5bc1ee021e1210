#include "controls/file_list.h"
#include "tests/controls/box_answerer.h"
#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_patch.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTest>

using Buttons = QList<QMessageBox::StandardButton>;

using namespace frmpatch_helpers;

// The file list's menu, which puts a script's backup back in its place.
class tst_FrmPatchRestore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void menuEntry_data();
    void menuEntry();
    void restore_data();
    void restore();
};

namespace {

enum class Ask { rightClick, menuKey, shiftF10 };

const QByteArray original = "alias msn.vver return 4.8\r\n; as shipped\r\n";
const QByteArray patched = "alias msn.vver return 4.8a\r\n; patched\r\n\r\n";

// The window on a folder holding morvane.mrc, shown and with the script selected.
struct Window {
    explicit Window(const Machine& machine)
        : window(machine.volumes())
        , files(control<controls::FileList>(window, "File1")) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        files->setFocus();
        files->setCurrentRow(0);
    }

    // The menu, as the user asks for it.
    QMenu* menu(Ask how) {
        const QPoint item = files->visualItemRect(files->item(0)).center();
        switch (how) {
        case Ask::rightClick:
            // Through the window, as the system delivers it, so that Qt makes the menu request
            // of it; the click chooses the script it lands on.
            files->clearSelection();
            QTest::mouseClick(window.windowHandle(), Qt::RightButton, {},
                              files->viewport()->mapTo(&window, item));
            break;
        case Ask::menuKey:
            QTest::keyClick(files, Qt::Key_Menu);
            break;
        case Ask::shiftF10:
            QTest::keyClick(files, Qt::Key_F10, Qt::ShiftModifier);
            break;
        }
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    frmPatch window;
    controls::FileList* files;
};

} // namespace

Q_DECLARE_METATYPE(Ask)

void tst_FrmPatchRestore::initTestCase() {
    QCoreApplication::setApplicationName("morvane-patch");
}

void tst_FrmPatchRestore::menuEntry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("backup");
    QTest::addColumn<Ask>("how");
    QTest::addColumn<bool>("enabled");
    const QString script = "morvane.mrc";
    QTest::newRow("backup, right click") << script << "file" << Ask::rightClick << true;
    QTest::newRow("backup, menu key") << script << "file" << Ask::menuKey << true;
    QTest::newRow("none, Shift+F10") << script << "" << Ask::shiftF10 << false;
    QTest::newRow("folder") << script << "folder" << Ask::rightClick << false;
#ifndef Q_OS_WIN
    QTest::newRow("link to a file") << script << "link" << Ask::menuKey << false;
#endif
    QTest::newRow("& in the name") << "R&D.mrc"
                                   << "file" << Ask::shiftF10 << true;
}

void tst_FrmPatchRestore::menuEntry() {
    QFETCH(QString, name);
    QFETCH(QString, backup);
    QFETCH(Ask, how);
    QFETCH(bool, enabled);
    Machine machine;
    const QString script = machine.path("c/") + name;
    writeFile(script, patched);
    writeFile(machine.path("c/elsewhere"), original);
    if (backup == "file")
        writeFile(script + ".bak", original);
    else if (backup == "folder")
        QVERIFY(QDir().mkdir(script + ".bak"));
    else if (backup == "link")
        QVERIFY(QFile::link(machine.path("c/elsewhere"), script + ".bak"));
    Window shown(machine);

    QMenu* menu = shown.menu(how);
    QVERIFY(menu);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 1);
    // As the menu shows it, not as an access key.
    QCOMPARE(actions[0]->iconText(), "Restore " + name + " from " + name + ".bak");
    QCOMPARE(actions[0]->isEnabled(), enabled);
    menu->close();
}

void tst_FrmPatchRestore::restore_data() {
    QTest::addColumn<Buttons>("answers");
    QTest::addColumn<bool>("backupGone");
    QTest::addColumn<QString>("status");
    QTest::newRow("yes") << Buttons{QMessageBox::Yes} << false << "Original restored.";
    QTest::newRow("no") << Buttons{QMessageBox::No} << false << "";
    QTest::newRow("backup gone") << Buttons{QMessageBox::Yes, QMessageBox::Ok} << true
                                 << "Restore failed.";
}

void tst_FrmPatchRestore::restore() {
    QFETCH(Buttons, answers);
    QFETCH(bool, backupGone);
    QFETCH(QString, status);
    Machine machine;
    const QString script = machine.path("c/morvane.mrc");
    writeFile(script, patched);
    writeFile(script + ".bak", original);
    Window shown(machine);
    QMenu* menu = shown.menu(Ask::shiftF10);
    QVERIFY(menu);
    if (backupGone)
        QVERIFY(QFile::remove(script + ".bak"));

    BoxAnswerer answerer(answers);
    QAction* entry = menu->actions().value(0);
    QVERIFY(entry);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());

    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), answers.size());
    QCOMPARE(answerer.seen[0].text, "Put back morvane.mrc as it was before it was patched? Its "
                                    "present text is kept in the patch log.");
    QCOMPARE(answerer.seen[0].icon, QMessageBox::Question);
    QCOMPARE(answerer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(answerer.seen[0].defaultButton, QMessageBox::No);
    QCOMPARE(control<QLabel>(shown.window, "lblPatch")->text(), status);
    QVERIFY(shown.files->isEnabled());
    const bool restored = status == "Original restored.";
    QCOMPARE(readFile(script), restored ? original : patched);
    QCOMPARE(readFile(machine.logFile()).endsWith("\r\n" + patched), restored);
    if (backupGone) {
        QCOMPARE(answerer.seen[1].icon, QMessageBox::Critical);
        QVERIFY2(answerer.seen[1].text.startsWith("The original could not be restored.\n\n"
                                                  "Could not read the backup"),
                 qPrintable(answerer.seen[1].text));
    } else {
        QCOMPARE(readFile(script + ".bak"), original);
    }
}

QTEST_MAIN(tst_FrmPatchRestore)
#include "tst_frmpatch_restore.moc"
