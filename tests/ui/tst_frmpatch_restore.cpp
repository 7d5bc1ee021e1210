#include "controls/file_list.h"
#include "tests/controls/box_answerer.h"
#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_patch.h"

#include <QDir>
#include <QMenu>

using Buttons = QList<QMessageBox::StandardButton>;
using namespace frmpatch_helpers;

// The file list's menu, which puts a script's backup back in its place.
class tst_FrmPatchRestore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("morvane-patch"); }
    void menuEntry_data();
    void menuEntry();
    void restore_data();
    void restore();
};

enum class Ask { rightClick, menuKey, shiftF10 };
Q_DECLARE_METATYPE(Ask)

namespace {

const QByteArray original = "alias msn.vver return 4.8\r\n; as shipped\r\n";
const QByteArray patched = "alias msn.vver return 4.8a\r\n; patched\r\n\r\n";

// The menu of the only script in the window's folder, asked for as the user would.
QMenu* menuOf(frmPatch& window, Ask how) {
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return nullptr;
    auto* files = control<controls::FileList>(window, "File1");
    files->setFocus();
    const QPoint item = files->visualItemRect(files->item(0)).center();
    if (how == Ask::rightClick) // through the window, where Qt makes the click a menu request
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, {},
                          files->viewport()->mapTo(&window, item));
    files->setCurrentRow(0);
    if (how == Ask::menuKey)
        QTest::keyClick(files, Qt::Key_Menu);
    if (how == Ask::shiftF10)
        QTest::keyClick(files, Qt::Key_F10, Qt::ShiftModifier);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

} // namespace

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
    if (backup == "file")
        writeFile(script + ".bak", original);
    else if (backup == "folder")
        QVERIFY(QDir().mkdir(script + ".bak"));
    else if (backup == "link")
        QVERIFY(QFile::link(script, script + ".bak"));
    frmPatch window(machine.volumes());

    QMenu* menu = menuOf(window, how);
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 1);
    // As the menu shows it, not as an access key.
    QCOMPARE(menu->actions()[0]->iconText(), "Restore " + name + " from " + name + ".bak");
    QCOMPARE(menu->actions()[0]->isEnabled(), enabled);
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
    frmPatch window(machine.volumes());
    QMenu* menu = menuOf(window, Ask::shiftF10);
    QVERIFY(menu && menu->actions().size() == 1);
    if (backupGone)
        QVERIFY(QFile::remove(script + ".bak"));

    BoxAnswerer answerer(answers);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions()[0]).center());
    QCOMPARE(answerer.seen.size(), answers.size());
    QCOMPARE(answerer.seen[0].text, "Put back morvane.mrc as it was before it was patched? Its "
                                    "present text is kept in the patch log.");
    QCOMPARE(answerer.seen[0].icon, QMessageBox::Question);
    QCOMPARE(answerer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(answerer.seen[0].defaultButton, QMessageBox::No);
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), status);
    QVERIFY(control<QWidget>(window, "File1")->isEnabled());
    const bool restored = status == "Original restored.";
    QCOMPARE(readFile(script), restored ? original : patched);
    QCOMPARE(readFile(machine.logFile()).endsWith("\r\n" + patched), restored);
    if (backupGone)
        QVERIFY2(answerer.seen[1].text.startsWith("The original could not be restored.\n\n"
                                                  "Could not read the backup"),
                 qPrintable(answerer.seen[1].text));
    else
        QCOMPARE(readFile(script + ".bak"), original);
}

QTEST_MAIN(tst_FrmPatchRestore)
#include "tst_frmpatch_restore.moc"
