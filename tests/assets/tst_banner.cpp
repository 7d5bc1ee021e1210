#include "tests/assets/file_fields.h"

#include <QImage>
#include <QTest>

#include <cmath>

namespace {

constexpr int bannerWidth = 581;
constexpr int bannerHeight = 282;
constexpr int headerBytes = 54;
constexpr int twipsPerPixel = 15;

struct Box {
    int left, top, width, height; // twips from the client area's top-left
};

// The window's labels over the banner, as the main window places them.
constexpr Box label1{4200, 1680, 4455, 2415};
constexpr Box label3{120, 1560, 3855, 255};
constexpr Box label4{2160, 3960, 1815, 495};
constexpr Box lblPatch{4200, 4080, 4335, 255};

// The part of a label's box that the banner lies under, in pixels.
QRect pixelsBehind(const Box& box) {
    const auto pixels = [](int twips) { return int(std::lround(double(twips) / twipsPerPixel)); };
    const QRect rect(QPoint(pixels(box.left), pixels(box.top)),
                     QPoint(pixels(box.left + box.width) - 1, pixels(box.top + box.height) - 1));
    return rect.intersected(QRect(0, 0, bannerWidth, bannerHeight));
}

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double contrastWithBlack(QRgb colour) {
    const double luminance = 0.2126 * linear(qRed(colour)) + 0.7152 * linear(qGreen(colour)) +
                             0.0722 * linear(qBlue(colour));
    return (luminance + 0.05) / 0.05;
}

} // namespace

Q_DECLARE_METATYPE(Box)

class TestBanner : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void header_data();
    void header();
    void fileSizeMatchesPixels();
    void readsAsQtReadsIt();
    void blackLabelsReadable_data();
    void blackLabelsReadable();
    void pureWhiteBehind_data();
    void pureWhiteBehind();

private:
    // The pixel at (x, y) counted from the top, read from the rows as stored: bottom row first.
    QRgb pixel(int x, int y) const {
        const int row = bannerHeight - 1 - y;
        const int at = headerBytes + (row * bannerWidth + x) * 4;
        return qRgb(quint8(bytes.at(at + 2)), quint8(bytes.at(at + 1)), quint8(bytes.at(at)));
    }

    QByteArray bytes;
};

void TestBanner::initTestCase() {
    bytes = file_fields::resource(QStringLiteral(":/assets/banner.bmp"));
    QVERIFY2(bytes.size() >= headerBytes, "the banner is missing from the resources");
}

void TestBanner::header_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("expected");

    QTest::newRow("signature BM") << 0 << 2 << quint32('B' | 'M' << 8);
    QTest::newRow("pixels follow the headers") << 10 << 4 << quint32(headerBytes);
    QTest::newRow("BITMAPINFOHEADER") << 14 << 4 << 40u;
    QTest::newRow("width") << 18 << 4 << quint32(bannerWidth);
    QTest::newRow("height, positive for bottom-up") << 22 << 4 << quint32(bannerHeight);
    QTest::newRow("planes") << 26 << 2 << 1u;
    QTest::newRow("bits per pixel") << 28 << 2 << 32u;
    QTest::newRow("BI_RGB") << 30 << 4 << 0u;
    QTest::newRow("pixels per metre across") << 38 << 4 << 2833u;
    QTest::newRow("pixels per metre down") << 42 << 4 << 2833u;
    QTest::newRow("no palette") << 46 << 4 << 0u;
}

void TestBanner::header() {
    QFETCH(int, offset);
    QFETCH(int, size);
    QFETCH(quint32, expected);
    QCOMPARE(file_fields::read(bytes, offset, size), expected);
}

void TestBanner::fileSizeMatchesPixels() {
    constexpr int pixelBytes = bannerWidth * bannerHeight * 4;
    QCOMPARE(bytes.size(), headerBytes + pixelBytes);
    QCOMPARE(file_fields::read(bytes, 2, 4), quint32(bytes.size()));
    const quint32 storedImageSize = file_fields::read(bytes, 34, 4);
    QVERIFY2(storedImageSize == 0 || storedImageSize == pixelBytes,
             qPrintable(QString::number(storedImageSize)));
}

// Qt draws the banner in the window; it must see the same picture, the right way up, that the
// checks below read from the bytes.
void TestBanner::readsAsQtReadsIt() {
    QImage image;
    QVERIFY(image.loadFromData(bytes, "BMP"));
    QCOMPARE(image.size(), QSize(bannerWidth, bannerHeight));
    QVERIFY(!image.hasAlphaChannel());
    for (int y = 0; y < bannerHeight; ++y) {
        for (int x = 0; x < bannerWidth; ++x) {
            if ((image.pixel(x, y) & 0xffffff) != (pixel(x, y) & 0xffffff))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 differs").arg(x).arg(y)));
        }
    }
}

void TestBanner::blackLabelsReadable_data() {
    QTest::addColumn<Box>("box");
    QTest::newRow("Label1") << label1;
    QTest::newRow("Label3") << label3;
    QTest::newRow("Label4") << label4;
}

// Black text needs 7:1 against every pixel behind it, not just on average: a single dark patch
// behind a letter makes it unreadable.
void TestBanner::blackLabelsReadable() {
    QFETCH(Box, box);
    const QRect area = pixelsBehind(box);
    QVERIFY(!area.isEmpty());
    double lowest = 21.0;
    QPoint worst = area.topLeft();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const double ratio = contrastWithBlack(pixel(x, y));
            if (ratio < lowest) {
                lowest = ratio;
                worst = {x, y};
            }
        }
    }
    qInfo("lowest contrast %.2f:1 at pixel %d,%d", lowest, worst.x(), worst.y());
    QVERIFY2(lowest >= 7.0, qPrintable(QStringLiteral("%1:1 at pixel %2,%3")
                                           .arg(lowest, 0, 'f', 2)
                                           .arg(worst.x())
                                           .arg(worst.y())));
}

void TestBanner::pureWhiteBehind_data() {
    QTest::addColumn<Box>("box");
    QTest::newRow("lblPatch") << lblPatch;
}

// The red status line is drawn straight onto the picture; anything but white behind it muddies
// the only text that says whether the patch worked.
void TestBanner::pureWhiteBehind() {
    QFETCH(Box, box);
    const QRect area = pixelsBehind(box);
    QVERIFY(!area.isEmpty());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (pixel(x, y) != qRgb(255, 255, 255))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is #%3")
                                     .arg(x)
                                     .arg(y)
                                     .arg(pixel(x, y) & 0xffffff, 6, 16, QLatin1Char('0'))));
        }
    }
}

QTEST_GUILESS_MAIN(TestBanner)
#include "tst_banner.moc"
