#include "ui/frm_info.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

namespace {

const QStringList informationLines{
    "The following events are changed:",
    "  on *:DIALOG:msn.room.*:init:*: - adds 'PT - Chat Partners' category (create room)",
    "  on *:DIALOG:msn.roomcat:init:0: - adds 'Chat Partners - PT' category (room browser)",
    "",
    "The following misc. things are changed:",
    "  The debug log Tirrasek left in is commented-out",
    "",
    "WARNING: This is an unofficial patch. Pemberlith nor Tirrasek's Realm takes any "
    "responsibility if the patch messes up Morvane.",
};

// The window deletes itself when closed, as the main window creates it.
struct OpenInfo {
    OpenInfo()
        : window(new frmInfo) {
        window->show();
    }
    ~OpenInfo() { delete window.data(); }
    QPointer<frmInfo> window;
};

} // namespace

class tst_FrmInfo : public QObject {
    Q_OBJECT

private slots:
    void informationText();
    void textBoxShowsTheLinesWrapped();
    void textBoxLinePitch();
    void layout_data();
    void layout();
    void focusAndButtons();
    void textCannotBeChangedButCanBeCopied();
    void closeUnloads();
    void enterPressesClose_data();
    void enterPressesClose();
};

void tst_FrmInfo::informationText() {
    QCOMPARE(frmInfo::informationText(), informationLines.join("\r\n"));
}

void tst_FrmInfo::textBoxShowsTheLinesWrapped() {
    OpenInfo info;
    QVERIFY(QTest::qWaitForWindowExposed(info.window));
    auto* text = info.window->findChild<QPlainTextEdit*>("Text1");
    QVERIFY(text);
    QTextDocument* document = text->document();
    QCOMPARE(document->blockCount(), 8);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(document->findBlockByNumber(i).text(), informationLines[i]);
    QCOMPARE(text->verticalScrollBar()->value(), 0);
    QCOMPARE(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (int wide : {1, 2, 7})
        QVERIFY2(document->findBlockByNumber(wide).layout()->lineCount() > 1,
                 qPrintable(informationLines[wide]));
}

// The text box was sized for the window font's 13-pixel lines, wrapped lines included.
void tst_FrmInfo::textBoxLinePitch() {
    OpenInfo info;
    QVERIFY(QTest::qWaitForWindowExposed(info.window));
    auto* text = info.window->findChild<QPlainTextEdit*>("Text1");
    QTextCursor cursor(text->document());
    int top = text->cursorRect(cursor).top();
    for (int line = 1; line < 6; ++line) {
        QVERIFY(cursor.movePosition(QTextCursor::Down));
        const int next = text->cursorRect(cursor).top();
        QCOMPARE(next - top, 13);
        top = next;
    }
}

void tst_FrmInfo::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("Label1") << "Label1" << QRect(8, 0, 193, 17);
    QTest::newRow("Text1") << "Text1" << QRect(8, 16, 297, 185);
    QTest::newRow("cmdClose") << "cmdClose" << QRect(116, 208, 81, 25);
}

void tst_FrmInfo::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    OpenInfo info;
    QCOMPARE(info.window->windowTitle(), "Patch Information");
    QCOMPARE(info.window->minimumSize(), QSize(312, 239));
    QCOMPARE(info.window->maximumSize(), QSize(312, 239));
    QVERIFY(!(info.window->windowFlags() & Qt::WindowMinMaxButtonsHint));
    QVERIFY(info.window->windowFlags() & Qt::WindowCloseButtonHint);
    QWidget* control = info.window->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), pixels);
}

void tst_FrmInfo::focusAndButtons() {
    OpenInfo info;
    QVERIFY(QTest::qWaitForWindowActive(info.window));
    auto* text = info.window->findChild<QPlainTextEdit*>("Text1");
    auto* close = info.window->findChild<QPushButton*>("cmdClose");
    QCOMPARE(QApplication::focusWidget(), text);
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), close);
    QVERIFY(!close->isDefault());
    QVERIFY(!close->autoDefault());
    QCOMPARE(info.window->findChild<QLabel*>("Label1")->text(), "Patch Information:");
}

void tst_FrmInfo::textCannotBeChangedButCanBeCopied() {
    OpenInfo info;
    QVERIFY(QTest::qWaitForWindowActive(info.window));
    auto* text = info.window->findChild<QPlainTextEdit*>("Text1");
    QTest::keyClicks(text, "typed");
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Delete);
    QCOMPARE(text->toPlainText(), informationLines.join('\n'));

    QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), informationLines.join('\n'));
}

void tst_FrmInfo::closeUnloads() {
    OpenInfo info;
    QTest::mouseClick(info.window->findChild<QPushButton*>("cmdClose"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(info.window.isNull());
}

void tst_FrmInfo::enterPressesClose_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closed");
    QTest::newRow("Text1, Return") << "Text1" << int(Qt::Key_Return) << false;
    QTest::newRow("cmdClose, Return") << "cmdClose" << int(Qt::Key_Return) << true;
    QTest::newRow("cmdClose, keypad Enter") << "cmdClose" << int(Qt::Key_Enter) << true;
}

// Enter presses Close while it has the focus, and only then: Close is no default button.
void tst_FrmInfo::enterPressesClose() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(bool, closed);
    OpenInfo info;
    QVERIFY(QTest::qWaitForWindowActive(info.window));
    auto* focused = info.window->findChild<QWidget*>(focus);
    focused->setFocus();
    QTest::keyClick(focused, Qt::Key(key));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(info.window.isNull(), closed);
    if (!closed) {
        auto* text = info.window->findChild<QPlainTextEdit*>("Text1");
        QCOMPARE(text->toPlainText(), informationLines.join('\n'));
    }
}

QTEST_MAIN(tst_FrmInfo)
#include "tst_frminfo.moc"
