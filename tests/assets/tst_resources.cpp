#include "assets/resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QTest>
#include <QTextLayout>

namespace {

bool scaledScreen() {
    return qGuiApp->devicePixelRatio() > 1.0;
}

// The summed darkness of a text drawn black on white, as the screen would show it.
double ink(const QFont& font, const QString& text) {
    const qreal ratio = qGuiApp->devicePixelRatio();
    QImage image((QSizeF(1000, 20) * ratio).toSize(), QImage::Format_Grayscale8);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(QPointF(2, 15), text);
    painter.end();
    double darkness = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            darkness += 255 - image.constScanLine(y)[x];
    }
    return darkness / 255;
}

} // namespace

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
    void boldLooksBold();
    void noLatinLigatures();
};

void TestResources::resourcesLinkedIn_data() {
    QTest::addColumn<QString>("path");
    for (const char* path : {":/assets/banner.bmp", ":/assets/banner@2x.png", ":/assets/icon.ico",
                             ":/assets/icon-16.png", ":/assets/icon-22.png", ":/assets/icon-24.png",
                             ":/assets/icon-32.png", ":/assets/icon-48.png", ":/assets/icon-64.png",
                             ":/assets/icon-128.png", ":/assets/icon-256.png", ":/fonts/tahoma.ttf",
                             ":/fonts/tahomabd.ttf", ":/fonts/tahosb.ttf"})
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
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("weight");
    QTest::newRow("regular") << QStringLiteral(":/fonts/tahoma.ttf") << QStringLiteral("Tahoma")
                             << int(QFont::Normal);
    QTest::newRow("bold") << QStringLiteral(":/fonts/tahomabd.ttf") << QStringLiteral("Tahoma")
                          << int(QFont::Bold);
    QTest::newRow("renamed") << QStringLiteral(":/fonts/tahosb.ttf") << QStringLiteral("TahoSB")
                             << int(QFont::Normal);
}

// The bold note must not come out regular because the files were swapped or one was copied
// twice, and the copy emboldened on scaled screens must be a family of its own, with no bold face
// for the font matcher to pick instead.
void TestResources::embeddedFontFaces() {
    QFETCH(QString, path);
    QFETCH(QString, family);
    QFETCH(int, weight);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // GDI's engine: Qt would take DirectWrite's on a scaled screen, and Wine's cannot load a
    // font from memory.
    const QRawFont font(file.readAll(), 11, QFont::PreferFullHinting);
    QVERIFY(font.isValid());
    QCOMPARE(font.familyName(), family);
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
    const bool emboldened = scaledScreen() && weight == QFont::Bold;
    QCOMPARE(info.family(), emboldened ? QStringLiteral("TahoSB") : QStringLiteral("Tahoma"));
    // On a scaled screen the bold is the regular face, emboldened. Windows' font database names
    // no styles; the weight below tells the face there.
    if (!info.styleName().isEmpty())
        QCOMPARE(info.styleName(), scaledScreen() ? QStringLiteral("Regular") : style);
    QCOMPARE(info.weight(), weight);
    if (QGuiApplication::primaryScreen()->logicalDotsPerInchY() != 96)
        return;
    QCOMPARE(info.pixelSize(), 11);
    // Windows' metrics, which the layout was measured with: closer lines let descenders touch
    // the capitals below and leave labels part empty.
    const QFontMetrics metrics(font);
    QCOMPARE(metrics.ascent(), 11);
    QCOMPARE(metrics.descent(), 2);
    QCOMPARE(metrics.lineSpacing(), 13);
}

// Wine's bold face has outlines with the regular stems, so a bold that is only the face's name
// draws as much ink as the regular text: a ratio of 1.00. Its bitmaps draw 1.7 times the ink of
// the regular ones; emboldening the smoothed outlines on a screen scaled twice, 1.25 with FreeType
// and 1.57 with Wine's GDI. The floors leave room for other builds and stay well clear of 1.00.
void TestResources::boldLooksBold() {
    const QString note = QStringLiteral(
        "NOTE: This program may hang for a few seconds while loading the files. DO NOT END THE "
        "TASK! You risk losing both the original and the backup file!");
    const double regular = ink(assets::tahoma(QFont::Normal), note);
    const double bold = ink(assets::tahoma(QFont::Bold), note);
    QVERIFY(regular > 0);
    qInfo("bold against regular ink: %.3f", bold / regular);
    const double floor = scaledScreen() ? 1.15 : 1.4;
    QVERIFY2(bold / regular >= floor, qPrintable(QString::number(bold / regular)));
}

// Windows sets "fi" and "fl" as two letters, and the font has no bitmaps for its ligatures.
void TestResources::noLatinLigatures() {
    const QString text = QStringLiteral("office files flow");
    QTextLayout layout(text, assets::tahoma());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QCOMPARE(layout.glyphRuns().value(0).glyphIndexes().size(), text.size());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
