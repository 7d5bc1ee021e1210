#include "tests/assets/file_fields.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTest>

namespace {

// Windows picks by size: 16 to 64 pixels for the scales of 100 % to 400 %, 256 for large views.
constexpr int sides[] = {16, 20, 24, 32, 40, 48, 64, 256};
constexpr int entryCount = int(std::size(sides));
constexpr int directoryBytes = 6 + 16 * entryCount;
constexpr int infoHeaderBytes = 40;
constexpr int paletteBytes = 256 * 4;
constexpr int colourBytes = 16 * 16; // one byte a pixel, rows already four-byte aligned
constexpr int maskBytes = 16 * 4;    // one bit a pixel, each row padded to 32 bits

} // namespace

class TestIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void header_data();
    void header();
    void fileSizeMatchesEntry();
    void readsAsQtReadsIt();
    void pngSizes_data();
    void pngSizes();
    void png16IsTheIconFilesPicture();

private:
    QByteArray bytes;
};

void TestIcon::initTestCase() {
    bytes = file_fields::resource(QStringLiteral(":/assets/icon.ico"));
    QVERIFY2(bytes.size() >= directoryBytes + infoHeaderBytes,
             "the icon is missing from the resources");
}

void TestIcon::header_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("expected");

    QTest::newRow("reserved") << 0 << 2 << 0u;
    QTest::newRow("type icon") << 2 << 2 << 1u;
    QTest::newRow("one image a size") << 4 << 2 << quint32(entryCount);
    QTest::newRow("entry width") << 6 << 1 << 16u;
    QTest::newRow("entry height") << 7 << 1 << 16u;
    QTest::newRow("entry colours, 0 for 256") << 8 << 1 << 0u;
    QTest::newRow("entry planes") << 10 << 2 << 1u;
    QTest::newRow("entry bits per pixel") << 12 << 2 << 8u;
    QTest::newRow("image follows the directory") << 18 << 4 << quint32(directoryBytes);
    // The first picture, the one an executable's icon resource shows where only one is read.
    constexpr int first = directoryBytes;
    QTest::newRow("BITMAPINFOHEADER") << first << 4 << quint32(infoHeaderBytes);
    QTest::newRow("bitmap width") << first + 4 << 4 << 16u;
    QTest::newRow("bitmap height, colour and mask rows") << first + 8 << 4 << 32u;
    QTest::newRow("bitmap bits per pixel") << first + 14 << 2 << 8u;
    QTest::newRow("BI_RGB") << first + 16 << 4 << 0u;
    QTest::newRow("palette of 256") << first + 32 << 4 << 256u;
}

void TestIcon::header() {
    QFETCH(int, offset);
    QFETCH(int, size);
    QFETCH(quint32, expected);
    QCOMPARE(file_fields::read(bytes, offset, size), expected);
}

// Each entry's picture follows the one before, the last ends the file, and each is the size its
// entry names (256 written as 0).
void TestIcon::fileSizeMatchesEntry() {
    constexpr int imageBytes = infoHeaderBytes + paletteBytes + colourBytes + maskBytes;
    QCOMPARE(file_fields::read(bytes, 14, 4), quint32(imageBytes));
    quint32 next = directoryBytes;
    for (int i = 0; i < entryCount; ++i) {
        const int entry = 6 + 16 * i;
        QCOMPARE(file_fields::read(bytes, entry, 1), quint32(sides[i] % 256));
        QCOMPARE(file_fields::read(bytes, entry + 1, 1), quint32(sides[i] % 256));
        QCOMPARE(file_fields::read(bytes, entry + 12, 4), next);
        next += file_fields::read(bytes, entry + 8, 4);
    }
    QCOMPARE(quint32(bytes.size()), next);
}

// Windows draws the mask first, so a clear corner must be masked and a drawn centre must not.
// Every size must be there to be read as drawn: a missing one is scaled from another and blurs.
void TestIcon::readsAsQtReadsIt() {
    QImage image;
    QVERIFY(image.loadFromData(bytes, "ICO"));
    QCOMPARE(image.size(), QSize(16, 16));
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(15, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(8, 6)), 255);

    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ICO");
    QList<int> read;
    do {
        const QImage picture = reader.read();
        QVERIFY2(!picture.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(picture.width(), picture.height());
        const int side = picture.width();
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(picture.pixel(side / 2, side * 6 / 16)), 255);
        read.append(side);
    } while (reader.jumpToNextImage());
    QCOMPARE(read, QList<int>(std::begin(sides), std::end(sides)));
}

void TestIcon::pngSizes_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("side");
    QTest::newRow("16") << QStringLiteral(":/assets/icon-16.png") << 16;
    QTest::newRow("22") << QStringLiteral(":/assets/icon-22.png") << 22;
    QTest::newRow("24") << QStringLiteral(":/assets/icon-24.png") << 24;
    QTest::newRow("32") << QStringLiteral(":/assets/icon-32.png") << 32;
    QTest::newRow("48") << QStringLiteral(":/assets/icon-48.png") << 48;
    QTest::newRow("64") << QStringLiteral(":/assets/icon-64.png") << 64;
    QTest::newRow("128") << QStringLiteral(":/assets/icon-128.png") << 128;
    QTest::newRow("256") << QStringLiteral(":/assets/icon-256.png") << 256;
}

// The desktop picks an icon by size and lays it on any background: each must be the size its
// name says, with clear corners and a solid middle.
void TestIcon::pngSizes() {
    QFETCH(QString, path);
    QFETCH(int, side);
    QImage image;
    QVERIFY(image.loadFromData(file_fields::resource(path), "PNG"));
    QCOMPARE(image.size(), QSize(side, side));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(side - 1, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(side / 2, side * 6 / 16)), 255);
}

// The window takes its 16-pixel icon from the PNG, which Qt decodes with less work and memory
// than the icon file; it must be the icon file's picture, pixel for pixel.
void TestIcon::png16IsTheIconFilesPicture() {
    QImage fromIco;
    QVERIFY(fromIco.loadFromData(bytes, "ICO"));
    QImage fromPng;
    QVERIFY(
        fromPng.loadFromData(file_fields::resource(QStringLiteral(":/assets/icon-16.png")), "PNG"));
    QCOMPARE(fromPng.convertToFormat(QImage::Format_ARGB32),
             fromIco.convertToFormat(QImage::Format_ARGB32));
}

QTEST_GUILESS_MAIN(TestIcon)
#include "tst_icon.moc"
