#include "tests/assets/file_fields.h"

#include <QDir>
#include <QRawFont>
#include <QTest>

#include <cmath>

namespace {

// Windows rounds winAscent (2049) and winDescent (423) each to whole pixels.
int windowsPixels(int fontUnits, int pixelsPerEm) {
    return int(std::lround(double(fontUnits) * pixelsPerEm / 2048));
}

} // namespace

class TestFonts : public QObject {
    Q_OBJECT

private slots:
    void embeddedAsBuilt_data();
    void embeddedAsBuilt();
    void linesAsOnWindows_data();
    void linesAsOnWindows();
};

void TestFonts::embeddedAsBuilt_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"tahoma.ttf", "tahomabd.ttf", "tahosb.ttf"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// The resources hold what the build step made, not a stale or recompressed copy of it.
void TestFonts::embeddedAsBuilt() {
    QFETCH(QString, name);
    const QString folder = qEnvironmentVariable("MORVANE_BUILT_FONTS");
    if (folder.isEmpty())
        QSKIP("MORVANE_BUILT_FONTS names no folder with the fonts the build made");
    QFile built(QDir(folder).filePath(name));
    QVERIFY2(built.open(QIODevice::ReadOnly), qPrintable(built.fileName()));
    const QByteArray embedded = file_fields::resource(QStringLiteral(":/fonts/") + name);
    QVERIFY(!embedded.isEmpty());
    QVERIFY(embedded == built.readAll());
}

void TestFonts::linesAsOnWindows_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pixels");
    // Every size with bitmaps, and beyond them, where only the outlines count.
    for (int pixels : {8, 9, 10, 11, 12, 13, 15, 16, 22}) {
        for (const char* name : {"tahoma.ttf", "tahomabd.ttf", "tahosb.ttf"})
            QTest::addRow("%s %d px", name, pixels) << QString::fromLatin1(name) << pixels;
    }
}

// A raw font opens the face afresh, which is when Qt mixes the bitmaps' line metrics with
// FreeType's outline ones; at every size both must round as Windows does, so that lines lie
// 13 pixels apart at the windows' 11 pixels.
void TestFonts::linesAsOnWindows() {
    QFETCH(QString, name);
    QFETCH(int, pixels);
    const QRawFont raw(file_fields::resource(QStringLiteral(":/fonts/") + name), pixels,
                       QFont::PreferFullHinting);
    QVERIFY(raw.isValid());
    QCOMPARE(qRound(raw.ascent()), windowsPixels(2049, pixels));
    QCOMPARE(qRound(raw.ascent() + raw.descent() + raw.leading()),
             windowsPixels(2049, pixels) + windowsPixels(423, pixels));
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
