#include "assets/resources.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "engine/patch_rules.h"
#include "places/folder_error.h"
#include "tests/controls/box_answerer.h"
#include "tests/system_names.h"
#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_info.h"
#include "ui/frm_patch.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>

using Buttons = QList<QMessageBox::StandardButton>;

using namespace frmpatch_helpers;

class tst_FrmPatch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void fixedDialogFrame();
    void startUpShowsFirstDrivesRoot();
    void startUpStatusLineEmpty();
    void startUpAppliesPatchButtonRule();
    void bannerAtNaturalSize();
    void bannerSharpOnScaledScreen();
    void noDefaultButton();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
    void layout_data();
    void layout();
    void labels();
    void labelLinePitch_data();
    void labelLinePitch();
    void label1FillsItsBox();
    void wholeTextShown();
    void boldNote();
    void tabOrder();
    void patchButtonRule_data();
    void patchButtonRule();
    void failingDrive_data();
    void failingDrive();
    void failingDriveC();
    void failingFallbackEndsProgram();
    void unreadableFolderKeepsBrowser();
    void driveRemembersItsFolder();
    void driveListAgreesWithFolderList_data();
    void driveListAgreesWithFolderList();
    void folderListClicks();
    void listsFollowTheFolderOnDisk();
    void folderGoneMovesBrowserUp();
    void reopeningTheFolderReadsItAgain();
    void arrowKeysWalkEveryScript();
    void patchRun_data();
    void patchRun();
    void nameTooLongForItsBackup();
    void interruptedWriteOffersTheBackup();
    void refusalWithoutSelection();
    void failedRunKeepsProgramRunning();
    void oneInformationWindow();
    void lastWindowEndsProgram();
};

void tst_FrmPatch::initTestCase() {
    QCoreApplication::setApplicationName("morvane-patch");
}

void tst_FrmPatch::cleanup() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmInfo*>(window))
            delete window;
    }
}

void tst_FrmPatch::fixedDialogFrame() {
    Machine machine;
    frmPatch window(machine.volumes());
    QCOMPARE(window.windowTitle(), "Morvane 4.8 Patch");
    QCOMPARE(window.minimumSize(), QSize(581, 343));
    QCOMPARE(window.maximumSize(), QSize(581, 343));
    QVERIFY(!(window.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QVERIFY(window.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(window.palette().color(QPalette::Window), QColor(Qt::white));
}

void tst_FrmPatch::startUpShowsFirstDrivesRoot() {
    Machine machine;
    frmPatch window(machine.volumes());
    auto* drives = control<controls::DriveList>(window, "Drive1");
    QCOMPARE(drives->currentIndex(), 0);
    QCOMPARE(drives->itemText(1), "/media/usb [BACKUP]");
    QCOMPARE(control<controls::DirList>(window, "Dir1")->currentFolder(), machine.path("c"));
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), machine.path("c") + "/");
}

void tst_FrmPatch::startUpStatusLineEmpty() {
    Machine machine;
    frmPatch window(machine.volumes());
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), QString());
}

void tst_FrmPatch::startUpAppliesPatchButtonRule() {
    Machine machine;
    frmPatch window(machine.volumes());
    // The first drive's root holds no script.
    QVERIFY(!control<QPushButton>(window, "cmdPatch")->isEnabled());
}

void tst_FrmPatch::bannerAtNaturalSize() {
    Machine machine;
    frmPatch window(machine.volumes());
    QCOMPARE(control<QLabel>(window, "Image1")->pixmap().deviceIndependentSize(), QSizeF(581, 282));
}

// On a screen scaled twice the window shows the banner drawn at twice the size, pixel for pixel,
// not the window's pixels enlarged; and the window keeps its proportions.
void tst_FrmPatch::bannerSharpOnScaledScreen() {
    if (qApp->devicePixelRatio() != 2.0)
        QSKIP("needs a screen scaled twice: ui.frmpatch_scaled_2 runs it with QT_SCALE_FACTOR=2");
    Machine machine;
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), QSize(581 * 2, 343 * 2));

    const QImage drawn =
        QImage(QStringLiteral(":/assets/banner@2x.png")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(drawn.size(), QSize(581 * 2, 282 * 2));
    // The title band, above every label and list: the first label starts at pixel row 104.
    const QRect band(0, 0, 581 * 2, 104 * 2);
    QCOMPARE(shown.copy(band), drawn.copy(band));
}

void tst_FrmPatch::noDefaultButton() {
    Machine machine;
    frmPatch window(machine.volumes());
    for (const char* name : {"cmdInfo", "cmdPatch"}) {
        auto* button = control<QPushButton>(window, name);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void tst_FrmPatch::enterPressesFocusedButton_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("cmdInfo, Return") << "cmdInfo" << int(Qt::Key_Return) << "information";
    QTest::newRow("cmdInfo, keypad Enter") << "cmdInfo" << int(Qt::Key_Enter) << "information";
    QTest::newRow("cmdPatch, Return") << "cmdPatch" << int(Qt::Key_Return) << "confirmation";
    QTest::newRow("Dir1, Return") << "Dir1" << int(Qt::Key_Return) << "folder opened";
    QTest::newRow("File1, Return") << "File1" << int(Qt::Key_Return) << "nothing";
    QTest::newRow("Drive1, Return") << "Drive1" << int(Qt::Key_Return) << "nothing";
}

// Enter presses the button that has the focus, once; with the focus on a list, no button takes
// it from the list.
void tst_FrmPatch::enterPressesFocusedButton() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, outcome);
    Machine machine;
    writeFile(machine.path("c/morvane.mrc"), unpatchedScript());
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* dirs = control<controls::DirList>(window, "Dir1");
    control<controls::FileList>(window, "File1")->setCurrentRow(0);
    dirs->setCurrentItem(dirs->findItems("mirc", Qt::MatchExactly | Qt::MatchRecursive)[0]);
    QWidget* focused = control<QWidget>(window, qPrintable(focus));
    focused->setFocus();
    QCOMPARE(QApplication::focusWidget(), focused);

    BoxAnswerer answerer({QMessageBox::No});
    QTest::keyClick(focused, Qt::Key(key));

    int informationWindows = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        informationWindows += qobject_cast<frmInfo*>(top) != nullptr;
    QCOMPARE(informationWindows, outcome == "information" ? 1 : 0);
    QCOMPARE(answerer.seen.size(), outcome == "confirmation" ? 1 : 0);
    QCOMPARE(dirs->currentFolder(),
             outcome == "folder opened" ? machine.path("c/mirc") : machine.path("c"));
    QVERIFY(!QFile::exists(machine.path("c/morvane.mrc.bak")));
}

void tst_FrmPatch::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("Label1") << "Label1" << QRect(280, 112, 297, 161);
    QTest::newRow("Label2") << "Label2" << QRect(8, 328, 569, 17);
    QTest::newRow("Drive1") << "Drive1" << QRect(8, 120, 257, 21);
    QTest::newRow("Label3") << "Label3" << QRect(8, 104, 257, 17);
    QTest::newRow("Dir1") << "Dir1" << QRect(8, 144, 129, 141);
    QTest::newRow("File1") << "File1" << QRect(136, 144, 129, 119);
    QTest::newRow("cmdInfo") << "cmdInfo" << QRect(8, 296, 81, 25);
    QTest::newRow("Label4") << "Label4" << QRect(144, 264, 121, 33);
    QTest::newRow("cmdPatch") << "cmdPatch" << QRect(96, 296, 81, 25);
    QTest::newRow("lblPatch") << "lblPatch" << QRect(280, 272, 289, 17);
    QTest::newRow("Label5") << "Label5" << QRect(280, 288, 297, 41);
    QTest::newRow("Image1") << "Image1" << QRect(0, 0, 581, 282);
}

void tst_FrmPatch::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    Machine machine;
    frmPatch window(machine.volumes());
    QWidget* widget = window.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), pixels);
    // The banner lies beneath everything: what shows at each control's centre is that control.
    QWidget* shown = window.childAt(pixels.center());
    while (shown && shown->parentWidget() != &window)
        shown = shown->parentWidget();
    if (name != "Image1")
        QCOMPARE(shown, widget);
}

void tst_FrmPatch::labels() {
    Machine machine;
    frmPatch window(machine.volumes());
    QCOMPARE(control<QLabel>(window, "Label1")->text(),
             "The Morvane 4.8 PT Category Patch should correctly patch your copy of Morvane 4.8 "
             "to utilize the \"Chat Partners\" (PT) category. You should be able to create rooms "
             "in this category and also browse for rooms in this category. Note that you should "
             "back up Morvane 4.8 before running this patch, just in case something does go "
             "wrong (though it does back up Morvane 4.8 before patching it). Any changes you've "
             "made to Morvane shouldn't be lost during the patching proccess. If you've changed "
             "one of the sections we're changing, the patch probably won't work (and it will "
             "tell you so). To see if you changed something we changed, see the \"Patch Info\"");
    QCOMPARE(control<QLabel>(window, "Label3")->text(), "Locate morvane.mrc:");
    QCOMPARE(control<QLabel>(window, "Label4")->text(), "Showing: mIRC Scripts (*.mrc)");
    QCOMPARE(control<QLabel>(window, "Label5")->text(),
             "NOTE: This program may hang for a few seconds while loading the files. DO NOT END "
             "THE TASK! You risk losing both the original and the backup file!");
    QVERIFY(!control<QLabel>(window, "Label2")->text().isEmpty());
    QVERIFY(!control<QLabel>(window, "Label2")->text().contains('\n'));

    QCOMPARE(control<QLabel>(window, "Label5")->font().weight(), QFont::Bold);
    QCOMPARE(control<QLabel>(window, "Label1")->font().family(), "Tahoma");
    QCOMPARE(control<QLabel>(window, "Label1")->font().pointSizeF(), 8.25);
    QCOMPARE(control<QLabel>(window, "lblPatch")->palette().color(QPalette::WindowText),
             QColor(255, 0, 0));
    for (const char* name : {"Label1", "Label2", "Label3", "Label4", "lblPatch", "Label5"}) {
        auto* label = control<QLabel>(window, name);
        QCOMPARE(label->palette().color(QPalette::WindowText).red(),
                 label->objectName() == "lblPatch" ? 255 : 0);
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
}

void tst_FrmPatch::labelLinePitch_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("Label1") << "Label1";
    QTest::newRow("Label5, bold") << "Label5";
}

// The labels were sized for lines 13 pixels apart. With one word over and over every line has
// the same top, so the pitch shows exactly.
void tst_FrmPatch::labelLinePitch() {
    QFETCH(QString, name);
    Machine machine;
    frmPatch window(machine.volumes());
    auto* label = control<QLabel>(window, qPrintable(name));
    label->setText(QString("Hill ").repeated(400));
    const QList<QRect> lines = inkedLines(drawnOnWhite(label));
    QVERIFY2(lines.size() >= label->height() / 13, qPrintable(QString::number(lines.size())));
    for (qsizetype i = 1; i < lines.size(); ++i)
        QCOMPARE(lines[i].top() - lines[i - 1].top(), 13);
}

// Set closer, the lines leave the foot of the paragraph's box empty and descenders touch the
// capitals below; set farther, the last line is cut off.
void tst_FrmPatch::label1FillsItsBox() {
    Machine machine;
    frmPatch window(machine.volumes());
    auto* label = control<QLabel>(window, "Label1");
    const QList<QRect> lines = inkedLines(drawnOnWhite(label));
    QVERIFY(lines.size() > 1);
    for (const QRect& line : lines)
        QVERIFY2(line.height() <= 13,
                 qPrintable(QString("rows %1 to %2").arg(line.top()).arg(line.bottom())));
    QVERIFY2(lines.last().bottom() >= label->height() - 2 * 13 &&
                 lines.last().bottom() < label->height(),
             qPrintable(QString::number(lines.last().bottom())));
}

// No label cuts its text short, at the natural size or on a scaled screen, where the bold note
// is set from emboldened outlines rather than the bitmaps the layout was made with.
void tst_FrmPatch::wholeTextShown() {
    Machine machine;
    frmPatch window(machine.volumes());
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        const QString name = label->objectName();
        if (label->wordWrap())
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(name));
        else
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(name));
    }
}

// The warning note looks bold at every scale the program supports (the scaled runs repeat this
// test): at least 1.35 times the ink of its text in the regular face, where the font engine's
// emboldening alone gives 1.25 on a screen scaled twice. It keeps the lines that a label of its
// font sets, and screen readers still read it.
void tst_FrmPatch::boldNote() {
    Machine machine;
    frmPatch window(machine.volumes());
    auto* note = control<QLabel>(window, "Label5");
    const auto sameText = [&](int weight) {
        auto* label = new QLabel(note->text(), &window);
        label->setFont(assets::tahoma(weight));
        label->setWordWrap(true);
        label->setAlignment(note->alignment());
        label->setGeometry(note->geometry());
        return drawnOnWhite(label);
    };
    const QImage shown = drawnOnWhite(note);
    const double ratio = ink(shown) / ink(sameText(QFont::Normal));
    qInfo("scale %.2f: the note has %.3f times the ink of the regular text",
          qApp->devicePixelRatio(), ratio);
    QVERIFY2(ratio >= 1.35, qPrintable(QString::number(ratio)));

    const QList<QRect> lines = inkedLines(shown);
    const QList<QRect> labelLines = inkedLines(sameText(QFont::Bold));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(labelLines.size(), lines.size());
    // A word set on another line would move an edge by a word's width; the second pass moves
    // none by more than a pixel or two.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        for (const auto& [at, by] : {std::pair{lines[i].left(), labelLines[i].left()},
                                     {lines[i].right(), labelLines[i].right()},
                                     {lines[i].top(), labelLines[i].top()},
                                     {lines[i].bottom(), labelLines[i].bottom()}})
            QVERIFY2(std::abs(at - by) <= 2,
                     qPrintable(QString("line %1: %2 against %3").arg(i + 1).arg(at).arg(by)));
    }

    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(note);
    QVERIFY(read);
    QCOMPARE(read->role(), QAccessible::StaticText);
    QCOMPARE(read->text(QAccessible::Name), note->text());
}

void tst_FrmPatch::tabOrder() {
    Machine machine;
    writeFile(machine.path("c/morvane.mrc"));
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(order, (QStringList{"Drive1", "Dir1", "File1", "cmdInfo", "cmdPatch", "Drive1"}));
}

void tst_FrmPatch::patchButtonRule_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("empty folder") << QStringList{} << false;
    QTest::newRow("other files only") << QStringList{"readme.txt", "morvane.mrc.bak"} << false;
    QTest::newRow("a script") << QStringList{"morvane.mrc"} << true;
    QTest::newRow("letter case ignored") << QStringList{"MORVANE.MRC"} << true;
    QTest::newRow("hidden script") << QStringList{".morvane.mrc"} << false;
    QTest::newRow("folder") << QStringList{"dir:scripts.mrc"} << false;
}

void tst_FrmPatch::patchButtonRule() {
    QFETCH(QStringList, files);
    QFETCH(bool, enabled);
    Machine machine;
    const QString folder = machine.path("c/mirc/scripts");
    for (const QString& file : files) {
        if (file.startsWith("dir:"))
            QVERIFY(QDir(folder).mkdir(file.mid(4)));
        else
            writeFile(folder + "/" + file);
    }
    frmPatch window(machine.volumes());
    auto* patch = control<QPushButton>(window, "cmdPatch");
    auto* dirs = control<controls::DirList>(window, "Dir1");
    emit dirs->folderActivated(folder);
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), folder);
    QCOMPARE(patch->isEnabled(), enabled);
    emit dirs->folderActivated(machine.path("c"));
    QVERIFY(!patch->isEnabled());
}

void tst_FrmPatch::failingDrive_data() {
    QTest::addColumn<int>("drive");
    QTest::addColumn<QString>("text");
    QTest::newRow("medium gone") << 2 << "e:";
    QTest::newRow("root is a file") << 3 << "/mnt/odd";
}

void tst_FrmPatch::failingDrive() {
    QFETCH(int, drive);
    QFETCH(QString, text);
    Machine machine;
    writeFile(machine.path("c/mirc/scripts/morvane.mrc"));
    frmPatch window(machine.volumes());
    auto* drives = control<controls::DriveList>(window, "Drive1");
    auto* dirs = control<controls::DirList>(window, "Dir1");
    auto* files = control<controls::FileList>(window, "File1");
    emit dirs->folderActivated(machine.path("c/mirc"));
    emit dirs->folderActivated(machine.path("c/mirc/scripts"));

    BoxAnswerer answerer({QMessageBox::Ok});
    drives->setCurrentIndex(drive);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text,
             "There was a problem accessing drive " + text + ". Maybe there isn't a disk in it?");
    QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
    QCOMPARE(answerer.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(answerer.seen[0].title, "Morvane 4.8 Patch");
    QCOMPARE(drives->currentIndex(), 0);
    QCOMPARE(dirs->currentFolder(), machine.path("c/mirc/scripts"));
    QCOMPARE(files->path(), machine.path("c/mirc/scripts"));
    QCOMPARE(files->count(), 1);
    QVERIFY(control<QPushButton>(window, "cmdPatch")->isEnabled());
}

void tst_FrmPatch::failingDriveC() {
    Machine machine;
    QVERIFY(QDir(machine.path("c")).removeRecursively());
    QVERIFY_THROWS_EXCEPTION(places::FolderError, frmPatch(machine.volumes()));
}

void tst_FrmPatch::failingFallbackEndsProgram() {
    Machine machine;
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QDir(machine.path("c")).removeRecursively());

    // D: fails, then C: fails in the fall-back: the failure report, after which the program ends.
    BoxAnswerer answerer({QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok});
    control<controls::DriveList>(window, "Drive1")->setCurrentIndex(2);
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), 3);
    QVERIFY(answerer.seen[0].text.contains("drive e:."));
    QVERIFY(answerer.seen[1].text.contains("drive /."));
    QVERIFY2(answerer.seen[2].text.contains("Error number: " + QString::number(ENOENT)),
             qPrintable(answerer.seen[2].text));
    QVERIFY(answerer.seen[2].text.contains(QDir::toNativeSeparators(machine.path("c"))));
    QCOMPARE(answerer.seen[2].title, "Morvane 4.8 Patch");
    QVERIFY(!window.isVisible());

    // The report ended every event loop for good; a fresh exec lets the next tests run boxes.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

void tst_FrmPatch::unreadableFolderKeepsBrowser() {
    Machine machine;
    frmPatch window(machine.volumes());
    auto* dirs = control<controls::DirList>(window, "Dir1");
    // Listed a moment ago, gone when the user double-clicks it.
    QVERIFY(QDir(machine.path("c/mirc")).removeRecursively());

    BoxAnswerer answerer({QMessageBox::Ok});
    emit dirs->folderActivated(machine.path("c/mirc"));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
    QVERIFY(answerer.seen[0].text.contains(QDir::toNativeSeparators(machine.path("c/mirc"))));
    QCOMPARE(dirs->currentFolder(), machine.path("c"));
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), machine.path("c") + "/");
}

void tst_FrmPatch::driveRemembersItsFolder() {
    Machine machine;
    frmPatch window(machine.volumes());
    auto* drives = control<controls::DriveList>(window, "Drive1");
    auto* dirs = control<controls::DirList>(window, "Dir1");
    emit dirs->folderActivated(machine.path("c/mirc"));

    drives->setCurrentIndex(1);
    QCOMPARE(dirs->currentFolder(), machine.path("d"));
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), machine.path("d") + "/");
    emit dirs->folderActivated(machine.path("d/backup"));

    drives->setCurrentIndex(0);
    QCOMPARE(dirs->currentFolder(), machine.path("c/mirc"));
    drives->setCurrentIndex(1);
    QCOMPARE(dirs->currentFolder(), machine.path("d/backup"));

    // A remembered folder removed meanwhile sends the drive back to its root, no message.
    drives->setCurrentIndex(0);
    QVERIFY(QDir(machine.path("d/backup")).removeRecursively());
    BoxAnswerer answerer({});
    drives->setCurrentIndex(1);
    QCOMPARE(dirs->currentFolder(), machine.path("d"));
    QCOMPARE(answerer.seen.size(), 0);
}

void tst_FrmPatch::driveListAgreesWithFolderList_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("drive");
    QTest::newRow("opened by a click, Escape") << "click, Escape" << 0;
    QTest::newRow("opened by a click, click outside") << "click, outside" << 0;
    QTest::newRow("opened by F4, Escape") << "F4, Escape" << 0;
    QTest::newRow("opened by F4, D: clicked") << "F4, row 1" << 1;
    QTest::newRow("opened by F4, z: clicked") << "F4, row 4" << 4;
    QTest::newRow("arrow key") << "Down" << 1;
    QTest::newRow("wheel") << "wheel" << 1;
}

// Whichever way the user leaves the drive list, the drive it shows is the one whose folders the
// folder list shows, down to its name: z: is C:'s root under another name.
void tst_FrmPatch::driveListAgreesWithFolderList() {
    QFETCH(QString, action);
    QFETCH(int, drive);
    Machine machine;
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* drives = control<controls::DriveList>(window, "Drive1");
    auto* dirs = control<controls::DirList>(window, "Dir1");
    emit dirs->folderActivated(machine.path("c/mirc"));
    drives->setFocus();

    QAbstractItemView* popup = drives->view();
    if (action.startsWith("click"))
        QTest::mouseClick(drives, Qt::LeftButton);
    else if (action.startsWith("F4"))
        QTest::keyClick(drives, Qt::Key_F4);
    else if (action == "Down")
        QTest::keyClick(drives, Qt::Key_Down);
    if (action.startsWith("click") || action.startsWith("F4"))
        QTRY_VERIFY(popup->isVisible());
    if (action.endsWith("Escape")) {
        QTest::keyClick(popup, Qt::Key_Escape);
    } else if (action.endsWith("outside")) {
        // Through the window system, which hands a click outside the pop-up to the pop-up.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(500, 20));
    } else if (action.contains("row")) {
        const int row = action.section(' ', -1).toInt();
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {},
                          popup->visualRect(popup->model()->index(row, 0)).center());
    } else if (action == "wheel") {
        QWheelEvent wheel(QPointF(10, 10), drives->mapToGlobal(QPointF(10, 10)), {},
                          QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(drives, &wheel);
    }
    QTRY_VERIFY(!popup->isVisible());

    QCOMPARE(drives->currentIndex(), drive);
    const QString name = machine.volumes()()[drive].name;
    QCOMPARE(dirs->topLevelItem(0)->text(0), name);
    QVERIFY(drives->currentText().startsWith(name));
    QVERIFY2(dirs->currentFolder().startsWith(machine.volumes()()[drive].root),
             qPrintable(dirs->currentFolder()));
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), dirs->path());
}

void tst_FrmPatch::folderListClicks() {
    Machine machine;
    writeFile(machine.path("c/mirc/script.mrc"));
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* dirs = control<controls::DirList>(window, "Dir1");
    auto* files = control<controls::FileList>(window, "File1");
    QTreeWidgetItem* mirc = nullptr;
    for (QTreeWidgetItemIterator it(dirs); *it; ++it) {
        if ((*it)->text(0) == "mirc")
            mirc = *it;
    }
    QVERIFY(mirc);
    dirs->scrollToItem(mirc);
    const QPoint centre = dirs->visualItemRect(mirc).center();

    QTest::mouseClick(dirs->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(files->path(), machine.path("c") + "/");
    QVERIFY(!control<QPushButton>(window, "cmdPatch")->isEnabled());

    QTest::mouseDClick(dirs->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(dirs->currentFolder(), machine.path("c/mirc"));
    QCOMPARE(files->path(), machine.path("c/mirc"));
    QCOMPARE(files->count(), 1);
    QVERIFY(control<QPushButton>(window, "cmdPatch")->isEnabled());
}

// A script copied into the folder shown appears by itself, as a file manager would show it, and
// the Patch button follows; the selection is kept by name and a new subfolder shows too.
void tst_FrmPatch::listsFollowTheFolderOnDisk() {
    Machine machine;
    const QString folder = machine.path("c/mirc/scripts");
    frmPatch window(machine.volumes());
    window.show();
    auto* dirs = control<controls::DirList>(window, "Dir1");
    auto* files = control<controls::FileList>(window, "File1");
    auto* patch = control<QPushButton>(window, "cmdPatch");
    emit dirs->folderActivated(folder);
    QVERIFY(!patch->isEnabled());

    writeFile(machine.path("morvane.mrc"), unpatchedScript());
    QVERIFY(QFile::copy(machine.path("morvane.mrc"), folder + "/morvane.mrc"));
    QTRY_COMPARE(files->count(), 1);
    QVERIFY(patch->isEnabled());
    files->setCurrentRow(0);
    writeFile(folder + "/backup.mrc");
    QVERIFY(QDir(folder).mkdir("Morvane"));
    QTRY_COMPARE(files->count(), 2);
    QCOMPARE(files->fileName(), "morvane.mrc");
    QTRY_VERIFY(!dirs->findItems("Morvane", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());

    QVERIFY(QFile::remove(folder + "/morvane.mrc"));
    QVERIFY(QFile::remove(folder + "/backup.mrc"));
    QTRY_COMPARE(files->count(), 0);
    QVERIFY(!patch->isEnabled());
}

// The folder shown removed behind the program's back: the browser moves up to the nearest one
// still there, file list and Patch button with it.
void tst_FrmPatch::folderGoneMovesBrowserUp() {
    Machine machine;
    writeFile(machine.path("c/mirc/script.mrc"));
    frmPatch window(machine.volumes());
    window.show();
    auto* dirs = control<controls::DirList>(window, "Dir1");
    emit dirs->folderActivated(machine.path("c/mirc"));
    emit dirs->folderActivated(machine.path("c/mirc/scripts"));

    QVERIFY(QDir(machine.path("c/mirc/scripts")).removeRecursively());
    QTRY_COMPARE(dirs->currentFolder(), machine.path("c/mirc"));
    QCOMPARE(control<controls::FileList>(window, "File1")->path(), machine.path("c/mirc"));
    QVERIFY(control<QPushButton>(window, "cmdPatch")->isEnabled());
}

// Opening the folder shown reads both lists again at once, not waiting for the system's notice.
void tst_FrmPatch::reopeningTheFolderReadsItAgain() {
    Machine machine;
    frmPatch window(machine.volumes());
    auto* dirs = control<controls::DirList>(window, "Dir1");
    auto* files = control<controls::FileList>(window, "File1");
    writeFile(machine.path("c/morvane.mrc"));
    QVERIFY(QDir(machine.path("c")).mkdir("new"));
    files->setCurrentRow(-1);
    emit dirs->folderActivated(machine.path("c"));
    QCOMPARE(files->count(), 1);
    QVERIFY(!dirs->findItems("new", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
    QVERIFY(control<QPushButton>(window, "cmdPatch")->isEnabled());
}

// Down walks the scripts one by one to the last, Up walks back: a user without a mouse reaches
// every script of the folder.
void tst_FrmPatch::arrowKeysWalkEveryScript() {
    Machine machine;
    for (const char* name : {"a.mrc", "b.mrc", "c.mrc"})
        writeFile(machine.path("c/") + name);
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* files = control<controls::FileList>(window, "File1");
    files->setFocus();
    QStringList walked;
    for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) {
        QTest::keyClick(files, Qt::Key(key));
        walked << files->fileName();
    }
    QCOMPARE(walked, (QStringList{"a.mrc", "b.mrc", "c.mrc", "c.mrc", "b.mrc"}));
}

void tst_FrmPatch::patchRun_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<Buttons>("answers");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("touched");

    QTest::newRow("yes, yes") << "morvane.mrc"
                              << Buttons{QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok}
                              << "Version changes applied."
                              << "4.8a" << true;
    QTest::newRow("yes, no") << "morvane.mrc" << Buttons{QMessageBox::Yes, QMessageBox::No}
                             << "File patched successfully!"
                             << "4.8" << true;
    QTest::newRow("no") << "morvane.mrc" << Buttons{QMessageBox::No} << ""
                        << "4.8" << false;
    if (test_support::systemTakesName("<b>x<i>.mrc"))
        QTest::newRow("markup name") << "<b>x<i>.mrc" << Buttons{QMessageBox::No} << ""
                                     << "4.8" << false;

    // Names a user may well have: each is listed, shown as typed and patched.
    const Buttons yesYes{QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok};
    const QStringList hostile{
        "<img src=x onerror=alert(1)>&amp;.mrc",
        "it's \"quoted\".mrc",
        "--help.mrc",
        "-rf .mrc",
        " two  spaces .mrc",
        "M\u00fcller \u00e9t\u00e9 \u2713.mrc",
        QString(247, 'n') + ".mrc", // 251 bytes: the longest whose backup name still fits
    };
    for (const QString& name : hostile)
        if (test_support::systemTakesName(name))
            QTest::newRow(qPrintable("patched: " + name.left(24)))
                << name << yesYes << "Version changes applied."
                << "4.8a" << true;
}

void tst_FrmPatch::patchRun() {
    QFETCH(QString, fileName);
    QFETCH(Buttons, answers);
    QFETCH(QString, status);
    QFETCH(QString, version);
    QFETCH(bool, touched);

    Machine machine;
    const QString script = machine.path("c/mirc/scripts/") + fileName;
    writeFile(script, unpatchedScript());
    writeFile(machine.path("c/mirc/scripts/other.mrc"));
    frmPatch window(machine.volumes());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* dirs = control<controls::DirList>(window, "Dir1");
    auto* files = control<controls::FileList>(window, "File1");
    auto* statusLine = control<QLabel>(window, "lblPatch");
    emit dirs->folderActivated(machine.path("c/mirc/scripts"));
    const QList<QListWidgetItem*> found = files->findItems(fileName, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    files->setCurrentItem(found.first());

    PaintRecorder paints(statusLine);
    QSignalSpy refreshed(files, &controls::FileList::refreshed);
    QStringList entries;
    connect(files->model(), &QAbstractItemModel::rowsInserted, files,
            [&](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    if (!entries.contains(files->item(row)->text()))
                        entries << files->item(row)->text();
            });
    BoxAnswerer answerer(answers);
    QTest::mouseClick(control<QPushButton>(window, "cmdPatch"), Qt::LeftButton);

    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), answers.size());
    QCOMPARE(answerer.seen[0].text,
             "Are you sure you want to patch '" + fileName + "' to version 4.8a?");
    QCOMPARE(answerer.seen[0].icon, QMessageBox::Question);
    QCOMPARE(answerer.seen[0].defaultButton, QMessageBox::Yes);
    QCOMPARE(answerer.seen[0].format, Qt::PlainText);
    for (const SeenBox& box : answerer.seen) {
        QCOMPARE(box.title, "Morvane 4.8 Patch");
        QCOMPARE(box.modality, Qt::ApplicationModal);
    }
    if (answers.size() > 1) {
        QCOMPARE(answerer.seen[1].icon, QMessageBox::NoIcon);
        QVERIFY(answerer.seen[1].text.startsWith("The file has been successfully patched"));
    }
    if (answers.size() > 2) {
        QCOMPARE(answerer.seen[2].text, "Version changes have been applied.");
        QCOMPARE(answerer.seen[2].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    QCOMPARE(statusLine->text(), status);
    for (const char* name : {"Drive1", "Dir1", "File1"})
        QVERIFY(control<QWidget>(window, name)->isEnabled());

    const QByteArray text = readFile(script);
    QVERIFY(text.contains("alias msn.vver return " + version.toLatin1() + "\r\n"));
    QCOMPARE(text.contains("PT - Chat Partners"), touched);
    QCOMPARE(QFile::exists(script + ".bak"), touched);
    QCOMPARE(readFile(machine.logFile()).contains(unpatchedScript()), touched);
    if (touched) {
        // Each stage reached the screen while the run held the event loop.
        for (const char* stage : {"Patching...", "Creating backup file...",
                                  "Writing updated file...", "File patched successfully!"})
            QVERIFY2(paints.painted.contains(stage), stage);
        // The rewritten script is read again, still chosen; the run's own files, hidden,
        // never showed.
        QTRY_VERIFY(refreshed.count() > 0);
        QCOMPARE(files->fileName(), fileName);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(QSet<QString>(entries.begin(), entries.end()),
                 (QSet<QString>{files->item(0)->text(), files->item(1)->text()}));
    }
}

void tst_FrmPatch::nameTooLongForItsBackup() {
    Machine machine;
    const QString fileName = QString(248, 'n') + ".mrc"; // the backup's name would be 256 bytes
    const QString script = machine.path("c/") + fileName;
    writeFile(script, unpatchedScript());
    frmPatch window(machine.volumes());
    auto* files = control<controls::FileList>(window, "File1");
    const QList<QListWidgetItem*> found = files->findItems(fileName, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    files->setCurrentItem(found.first());

    BoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
    QTest::mouseClick(control<QPushButton>(window, "cmdPatch"), Qt::LeftButton);

    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen[1].icon, QMessageBox::Critical);
    QVERIFY2(answerer.seen[1].text.startsWith("The patch could not be completed.\n\nCould not "
                                              "write the backup"),
             qPrintable(answerer.seen[1].text));
    QVERIFY(answerer.seen[1].text.contains("too long"));
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), "Patch failed.");
    QCOMPARE(readFile(script), unpatchedScript());
    QVERIFY(!QFile::exists(machine.logFile()));
    QVERIFY(window.isEnabled() && files->isEnabled());
}

// A write in place cut short left its marker: the next Patch asks first, with Enter keeping the
// script as it is, and then goes on to the usual question.
void tst_FrmPatch::interruptedWriteOffersTheBackup() {
    Machine machine;
    const QString script = machine.path("c/morvane.mrc");
    const QByteArray cutShort = unpatchedScript().left(200);
    writeFile(script, cutShort);
    writeFile(script + ".bak", unpatchedScript());
    writeFile(machine.path("c/.~morvane.mrc#"), "morvane.mrc.bak\n");
    frmPatch window(machine.volumes());
    control<controls::FileList>(window, "File1")->setCurrentRow(0);

    BoxAnswerer answerer({QMessageBox::No, QMessageBox::No});
    QTest::mouseClick(control<QPushButton>(window, "cmdPatch"), Qt::LeftButton);
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), 2);
    QVERIFY2(answerer.seen[0].text.startsWith("The last patch of 'morvane.mrc' was interrupted"),
             qPrintable(answerer.seen[0].text));
    QCOMPARE(answerer.seen[0].icon, QMessageBox::Question);
    QCOMPARE(answerer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(answerer.seen[0].defaultButton, QMessageBox::No);
    QCOMPARE(answerer.seen[1].text,
             "Are you sure you want to patch 'morvane.mrc' to version 4.8a?");
    QCOMPARE(answerer.seen[1].defaultButton, QMessageBox::Yes);
    QCOMPARE(readFile(script), cutShort);
}

void tst_FrmPatch::refusalWithoutSelection() {
    Machine machine;
    const QString script = machine.path("c/morvane.mrc");
    writeFile(script, unpatchedScript());
    frmPatch window(machine.volumes());
    QVERIFY(control<QPushButton>(window, "cmdPatch")->isEnabled());

    BoxAnswerer answerer({QMessageBox::Ok});
    QTest::mouseClick(control<QPushButton>(window, "cmdPatch"), Qt::LeftButton);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, "Select the script to patch in the file list first.");
    QCOMPARE(answerer.seen[0].icon, QMessageBox::NoIcon);
    QCOMPARE(answerer.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(readFile(script), unpatchedScript());
    QVERIFY(!QFile::exists(script + ".bak"));
    QVERIFY(!QFile::exists(machine.logFile()));
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), QString());
}

void tst_FrmPatch::failedRunKeepsProgramRunning() {
    Machine machine;
    const QString script = machine.path("c/morvane.mrc");
    writeFile(script, unpatchedScript());
    frmPatch window(machine.volumes());
    window.show();
    auto* files = control<controls::FileList>(window, "File1");
    files->setCurrentRow(0);
    // The list shows the folder as it was read; the script is gone by the time Patch is pressed.
    QVERIFY(QFile::remove(script));

    BoxAnswerer answerer({QMessageBox::Yes, QMessageBox::Ok});
    QTest::mouseClick(control<QPushButton>(window, "cmdPatch"), Qt::LeftButton);
    QCOMPARE(answerer.unexpected, 0);
    QCOMPARE(answerer.seen.size(), 2);
    const SeenBox& failure = answerer.seen[1];
    QCOMPARE(failure.icon, QMessageBox::Critical);
    QCOMPARE(failure.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(failure.text.startsWith("The patch could not be completed.\n\n"),
             qPrintable(failure.text));
    // The path as the system writes it: with backslashes on Windows.
    QVERIFY2(failure.text.contains('"' + QDir::toNativeSeparators(script) + '"'),
             qPrintable(failure.text));
    QCOMPARE(control<QLabel>(window, "lblPatch")->text(), "Patch failed.");
    for (const char* name : {"Drive1", "Dir1", "File1"})
        QVERIFY(control<QWidget>(window, name)->isEnabled());
    QVERIFY(window.isVisible());
    QVERIFY(!QFile::exists(script));
}

void tst_FrmPatch::oneInformationWindow() {
    Machine machine;
    frmPatch window(machine.volumes());
    window.show();
    auto* info = control<QPushButton>(window, "cmdInfo");
    QTest::mouseClick(info, Qt::LeftButton);
    QTest::mouseClick(info, Qt::LeftButton);

    QList<frmInfo*> windows;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<frmInfo*>(top))
            windows << found;
    }
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows[0]->isVisible());
    QCOMPARE(windows[0]->parentWidget(), nullptr);
    QCOMPARE(windows[0]->windowModality(), Qt::NonModal);

    // Closed, it is unloaded; the next press loads it anew.
    QPointer<frmInfo> first = windows[0];
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    QTest::mouseClick(info, Qt::LeftButton);
    int open = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        open += qobject_cast<frmInfo*>(top) && top->isVisible();
    QCOMPARE(open, 1);
}

void tst_FrmPatch::lastWindowEndsProgram() {
    Machine machine;
    frmPatch window(machine.volumes());
    window.show();
    QTest::mouseClick(control<QPushButton>(window, "cmdInfo"), Qt::LeftButton);
    QPointer<frmInfo> info = window.findChild<frmInfo*>();
    QVERIFY(info.isNull()); // ownerless
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<frmInfo*>(top))
            info = found;
    }
    QVERIFY(info);

    // Only a running event loop ends when its last window closes.
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    bool infoStayed = false;
    int closedTooEarly = -1;
    bool deadlinePassed = false;
    QTimer::singleShot(0, &window, [&] {
        window.close();
        infoStayed = info->isVisible();
        closedTooEarly = lastClosed.count();
        info->close();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, [&] {
        deadlinePassed = true;
        QCoreApplication::quit();
    });
    deadline.start(5000);
    QCoreApplication::exec();
    QVERIFY(!deadlinePassed);
    QVERIFY(infoStayed);
    QCOMPARE(closedTooEarly, 0);
    QCOMPARE(lastClosed.count(), 1);
}

QTEST_MAIN(tst_FrmPatch)
#include "tst_frmpatch.moc"
