#include "controls/message_box.h"
#include "controls/twips.h"
#include "tests/controls/box_answerer.h"

#include <QTest>

class tst_Boxes : public QObject {
    Q_OBJECT

private slots:
    void messageBoxShowsPlainTextModalToTheProgram();
    void messageBoxReturnsTheAnswer_data();
    void messageBoxReturnsTheAnswer();
    void longTextWrapsInsideTheScreen_data();
    void longTextWrapsInsideTheScreen();
    void twips_data();
    void twips();
};

void tst_Boxes::messageBoxShowsPlainTextModalToTheProgram() {
    BoxAnswerer answerer({QMessageBox::Ok});
    controls::messageBox(nullptr, "Morvane 4.8 Patch", "Patch <b>x</b>.mrc &amp; more",
                         QMessageBox::Critical, QMessageBox::Ok);
    QCOMPARE(answerer.seen.size(), 1);
    const SeenBox& box = answerer.seen.first();
    QCOMPARE(box.title, "Morvane 4.8 Patch");
    QCOMPARE(box.text, "Patch <b>x</b>.mrc &amp; more");
    QCOMPARE(box.format, Qt::PlainText);
    QCOMPARE(box.modality, Qt::ApplicationModal);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void tst_Boxes::messageBoxReturnsTheAnswer_data() {
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::newRow("yes") << QMessageBox::Yes;
    QTest::newRow("no") << QMessageBox::No;
}

void tst_Boxes::messageBoxReturnsTheAnswer() {
    QFETCH(QMessageBox::StandardButton, answer);
    BoxAnswerer answerer({answer});
    QCOMPARE(controls::messageBox(nullptr, "Title", "Sure?", QMessageBox::Question,
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes),
             answer);
    QCOMPARE(answerer.seen.first().defaultButton, QMessageBox::Yes);
}

void tst_Boxes::longTextWrapsInsideTheScreen_data() {
    QTest::addColumn<QString>("text");
    const QString longName = QString(248, 'n') + ".mrc";
    QTest::newRow("short") << "Version changes have been applied.";
    QTest::newRow("252-byte name")
        << "Are you sure you want to patch '" + longName + "' to version 4.8a?";
}

void tst_Boxes::longTextWrapsInsideTheScreen() {
    QFETCH(QString, text);
    BoxAnswerer answerer({QMessageBox::Ok});
    controls::messageBox(nullptr, "Title", text, QMessageBox::Question, QMessageBox::Ok);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text, text);
    QVERIFY(answerer.seen.first().textFits);
}

void tst_Boxes::twips_data() {
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("pixels");
    QTest::newRow("whole pixel") << 4230 << 282;
    QTest::newRow("113 rounds up") << 113 << 8;
    QTest::newRow("1733 rounds up") << 1733 << 116;
    QTest::newRow("7 rounds down") << 7 << 0;
    QTest::newRow("8 rounds up") << 8 << 1;
}

void tst_Boxes::twips() {
    QFETCH(int, twips);
    QFETCH(int, pixels);
    QCOMPARE(controls::twipsToPixels(twips), pixels);
}

QTEST_MAIN(tst_Boxes)
#include "tst_boxes.moc"
