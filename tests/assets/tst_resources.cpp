#include "assets/resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QTest>
#include <QTextLayout>

class TestResources : public QObject {
    Q_OBJECT

private slots:
    void resourcesLinkedIn_data();
    void resourcesLinkedIn();
    void embeddedFontFaces_data();
    void embeddedFontFaces();
    void loadFontsRegistersTahoma();
    void tahoma_data();
    void tahoma();
    void lineSpacing_data();
    void lineSpacing();
    void noLatinLigatures();
};

void TestResources::resourcesLinkedIn_data() {
    QTest::addColumn<QString>("path");
    for (const char* path : {":/assets/banner.bmp", ":/assets/icon.ico", ":/assets/icon-32.png",
                             ":/assets/icon-48.png", ":/assets/icon-256.png", ":/fonts/tahoma.ttf",
                             ":/fonts/tahomabd.ttf"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

// Resources of a static library reach an executable only through its object libraries; a lost
// link leaves the windows without a picture and without their font, and no error anywhere.
void TestResources::resourcesLinkedIn() {
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.exists());
    QVERIFY(file.size() > 0);
}

void TestResources::embeddedFontFaces_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("weight");
    QTest::newRow("regular") << QStringLiteral(":/fonts/tahoma.ttf") << int(QFont::Normal);
    QTest::newRow("bold") << QStringLiteral(":/fonts/tahomabd.ttf") << int(QFont::Bold);
}

// The bold note must not come out regular because the two files were swapped or one was copied
// twice.
void TestResources::embeddedFontFaces() {
    QFETCH(QString, path);
    QFETCH(int, weight);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QRawFont font(file.readAll(), 11);
    QVERIFY(font.isValid());
    QCOMPARE(font.familyName(), QStringLiteral("Tahoma"));
    QCOMPARE(font.weight(), weight);
}

void TestResources::loadFontsRegistersTahoma() {
    const bool systemHadTahoma = QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    assets::loadFonts();
    assets::loadFonts(); // a second call must neither throw nor register the fonts again
    const QStringList styles = QFontDatabase::styles(QStringLiteral("Tahoma"));
    QVERIFY2(styles.contains(QStringLiteral("Regular")), qPrintable(styles.join(u',')));
    QVERIFY2(styles.contains(QStringLiteral("Bold")), qPrintable(styles.join(u',')));
    if (systemHadTahoma)
        QSKIP("this machine has a Tahoma of its own, so its presence proves nothing about ours");
}

void TestResources::tahoma_data() {
    QTest::addColumn<int>("weight");
    QTest::addColumn<QString>("style");
    QTest::newRow("regular") << int(QFont::Normal) << QStringLiteral("Regular");
    QTest::newRow("bold") << int(QFont::Bold) << QStringLiteral("Bold");
}

// What the windows get must be the real face at the classic dialog size, 11 pixels at 96 dots per
// inch, not a substitute chosen by the font matcher.
void TestResources::tahoma() {
    QFETCH(int, weight);
    QFETCH(QString, style);
    const QFont font = assets::tahoma(weight);
    QCOMPARE(font.pointSizeF(), 8.25);
    const QFontInfo info(font);
    QCOMPARE(info.family(), QStringLiteral("Tahoma"));
    QCOMPARE(info.styleName(), style);
    if (QGuiApplication::primaryScreen()->logicalDotsPerInchY() == 96)
        QCOMPARE(info.pixelSize(), 11);
}

void TestResources::lineSpacing_data() {
    QTest::addColumn<int>("weight");
    QTest::newRow("regular") << int(QFont::Normal);
    QTest::newRow("bold") << int(QFont::Bold);
}

// The windows were laid out for Tahoma's Windows metrics: 11 pixels above the baseline, 2 below,
// lines 13 apart. Closer lines let descenders touch the capitals below and leave labels part empty.
void TestResources::lineSpacing() {
    QFETCH(int, weight);
    if (QGuiApplication::primaryScreen()->logicalDotsPerInchY() != 96)
        QSKIP("the layout's pixels are those of a 96 dots per inch screen");
    const QFontMetrics metrics(assets::tahoma(weight));
    QCOMPARE(metrics.ascent(), 11);
    QCOMPARE(metrics.descent(), 2);
    QCOMPARE(metrics.lineSpacing(), 13);
}

// Windows sets "fi" and "fl" as two letters, and the font has no bitmaps for its ligatures.
void TestResources::noLatinLigatures() {
    const QString text = QStringLiteral("office files flow");
    QTextLayout layout(text, assets::tahoma());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    qsizetype glyphs = 0;
    for (const QGlyphRun& run : layout.glyphRuns())
        glyphs += run.glyphIndexes().size();
    QCOMPARE(glyphs, text.size());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
