#include "assets/font_edit.h"
#include "file_fields.h"

#include <QRawFont>
#include <QTest>

#include <cmath>
#include <stdexcept>

namespace {

// Font files are big-endian.
quint32 readBig(const QByteArray& bytes, qsizetype offset, int size) {
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

void writeBig(QByteArray& bytes, qsizetype offset, int size, quint32 value) {
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[offset + i] = char(value & 0xff);
}

struct TableEntry {
    qsizetype record = -1;
    qsizetype offset = 0;
    qsizetype length = 0;
};

TableEntry findTable(const QByteArray& font, const char* tag) {
    const int count = int(readBig(font, 4, 2));
    for (int i = 0; i < count; ++i) {
        const qsizetype record = 12 + 16 * i;
        if (font.mid(record, 4) == tag)
            return {record, qsizetype(readBig(font, record + 8, 4)),
                    qsizetype(readBig(font, record + 12, 4))};
    }
    return {};
}

quint32 checksum(QByteArray bytes) {
    bytes.append(QByteArray((4 - bytes.size() % 4) % 4, '\0'));
    quint32 sum = 0;
    for (qsizetype at = 0; at < bytes.size(); at += 4)
        sum += readBig(bytes, at, 4);
    return sum;
}

QByteArray edited(const QByteArray& font) {
    const std::string copy =
        assets::classicLayoutCopy(std::string_view(font.constData(), std::size_t(font.size())));
    return QByteArray(copy.data(), qsizetype(copy.size()));
}

// Windows' line metrics at a size: each of winAscent and winDescent scaled and rounded.
int windowsPixels(int fontUnits, int pixelsPerEm) {
    return int(std::lround(double(fontUnits) * pixelsPerEm / 2048));
}

constexpr int winAscent = 2049;
constexpr int winDescent = 423;

} // namespace

class TestFontEdit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void checksumsHold_data();
    void checksumsHold();
    void lettersUntouched_data();
    void lettersUntouched();
    void useTypoMetricsCleared();
    void bitmapSizesGetWindowsMetrics_data();
    void bitmapSizesGetWindowsMetrics();
    void linesAsOnWindows_data();
    void linesAsOnWindows();
    void sameResultEveryTime();
    void damagedFilesRejected_data();
    void damagedFilesRejected();

private:
    QByteArray regular;
    QByteArray bold;
};

void TestFontEdit::initTestCase() {
    regular = file_fields::resource(QStringLiteral(":/fonts/tahoma.ttf"));
    bold = file_fields::resource(QStringLiteral(":/fonts/tahomabd.ttf"));
    QVERIFY(!regular.isEmpty());
    QVERIFY(!bold.isEmpty());
}

void TestFontEdit::checksumsHold_data() {
    QTest::addColumn<QByteArray>("font");
    QTest::newRow("regular") << regular;
    QTest::newRow("bold") << bold;
}

// Windows refuses a font whose checksums do not hold, so every changed table must carry its new
// sum and head the adjustment that brings the whole file to the fixed total.
void TestFontEdit::checksumsHold() {
    QFETCH(QByteArray, font);
    const QByteArray copy = edited(font);
    QCOMPARE(copy.size(), font.size());
    const int count = int(readBig(copy, 4, 2));
    for (int i = 0; i < count; ++i) {
        const qsizetype record = 12 + 16 * i;
        QByteArray table = copy.mid(readBig(copy, record + 8, 4), readBig(copy, record + 12, 4));
        if (copy.mid(record, 4) == "head")
            table.replace(8, 4, QByteArray(4, '\0'));
        QVERIFY2(checksum(table) == readBig(copy, record + 4, 4), copy.mid(record, 4).constData());
    }
    QCOMPARE(checksum(copy), 0xB1B0AFBAu);
}

void TestFontEdit::lettersUntouched_data() {
    QTest::addColumn<QByteArray>("tag");
    for (const char* tag : {"glyf", "loca", "EBDT", "hmtx", "cmap", "GPOS", "name"})
        QTest::newRow(tag) << QByteArray(tag);
}

// Only how lines and ligatures are set may change: the letters, their widths and the names stay
// as packaged.
void TestFontEdit::lettersUntouched() {
    QFETCH(QByteArray, tag);
    const QByteArray copy = edited(regular);
    const TableEntry before = findTable(regular, tag.constData());
    const TableEntry after = findTable(copy, tag.constData());
    QVERIFY(before.record >= 0);
    QCOMPARE(copy.mid(after.offset, after.length), regular.mid(before.offset, before.length));
}

void TestFontEdit::useTypoMetricsCleared() {
    const QByteArray copy = edited(regular);
    const TableEntry os2 = findTable(copy, "OS/2");
    const quint32 packaged = readBig(regular, os2.offset + 62, 2);
    QVERIFY2(packaged & 0x80, "the packaged font no longer sets USE_TYPO_METRICS");
    QCOMPARE(readBig(copy, os2.offset + 62, 2), packaged & ~0x80u);
}

void TestFontEdit::bitmapSizesGetWindowsMetrics_data() {
    QTest::addColumn<QByteArray>("font");
    QTest::newRow("regular") << regular;
    QTest::newRow("bold") << bold;
}

void TestFontEdit::bitmapSizesGetWindowsMetrics() {
    QFETCH(QByteArray, font);
    const QByteArray copy = edited(font);
    const TableEntry eblc = findTable(copy, "EBLC");
    const int sizes = int(readBig(copy, eblc.offset + 4, 4));
    QVERIFY(sizes > 0);
    for (int i = 0; i < sizes; ++i) {
        const qsizetype size = eblc.offset + 8 + 48 * i;
        const int pixelsPerEm = int(readBig(copy, size + 45, 1));
        QCOMPARE(qint8(readBig(copy, size + 16, 1)), windowsPixels(winAscent, pixelsPerEm));
        QCOMPARE(qint8(readBig(copy, size + 17, 1)), -windowsPixels(winDescent, pixelsPerEm));
    }
}

void TestFontEdit::linesAsOnWindows_data() {
    QTest::addColumn<QByteArray>("font");
    QTest::addColumn<int>("pixels");
    for (int pixels : {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 22}) {
        const QByteArray size = QByteArray::number(pixels) + " px";
        QTest::newRow("regular " + size) << regular << pixels;
        QTest::newRow("bold " + size) << bold << pixels;
    }
}

// A raw font opens the file afresh, as Qt does the first time it sets a face to a size; that is
// when Qt takes the leading from FreeType's outline metrics, whose rounding must then agree with
// the bitmaps' and with Windows'.
void TestFontEdit::linesAsOnWindows() {
    QFETCH(QByteArray, font);
    QFETCH(int, pixels);
    const QRawFont raw(edited(font), pixels, QFont::PreferFullHinting);
    QVERIFY(raw.isValid());
    QCOMPARE(qRound(raw.ascent()), windowsPixels(winAscent, pixels));
    QCOMPARE(qRound(raw.ascent() + raw.descent() + raw.leading()),
             windowsPixels(winAscent, pixels) + windowsPixels(winDescent, pixels));
}

void TestFontEdit::sameResultEveryTime() {
    const QByteArray once = edited(regular);
    QCOMPARE(edited(regular), once);
    QCOMPARE(edited(once), once);
}

void TestFontEdit::damagedFilesRejected_data() {
    QTest::addColumn<QByteArray>("font");

    QByteArray noOs2 = regular;
    noOs2.replace(findTable(regular, "OS/2").record, 4, "OS/3");
    QByteArray shortOs2 = regular;
    writeBig(shortOs2, findTable(regular, "OS/2").record + 12, 4, 70);
    QByteArray tablePastEnd = regular;
    writeBig(tablePastEnd, findTable(regular, "glyf").record + 8, 4, quint32(regular.size()));
    QByteArray tooManySizes = regular;
    writeBig(tooManySizes, findTable(regular, "EBLC").offset + 4, 4, 0xffffff);
    QByteArray strayFeature = regular;
    const TableEntry gsub = findTable(regular, "GSUB");
    const qsizetype scripts = gsub.offset + readBig(regular, gsub.offset + 4, 2);
    for (int i = 0; i < int(readBig(regular, scripts, 2)); ++i) {
        const qsizetype record = scripts + 2 + 6 * i;
        if (regular.mid(record, 4) == "latn") {
            const qsizetype script = scripts + readBig(regular, record + 4, 2);
            const qsizetype langSys = script + readBig(regular, script, 2);
            writeBig(strayFeature, langSys + 6, 2, 0x7fff);
        }
    }

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("a picture") << file_fields::resource(QStringLiteral(":/assets/icon-32.png"));
    QTest::newRow("directory cut short") << regular.left(100);
    QTest::newRow("file cut short") << regular.left(regular.size() / 2);
    QTest::newRow("no OS/2 table") << noOs2;
    QTest::newRow("OS/2 table too short") << shortOs2;
    QTest::newRow("table past the end") << tablePastEnd;
    QTest::newRow("more bitmap sizes than EBLC holds") << tooManySizes;
    QTest::newRow("Latin names a missing feature") << strayFeature;
}

// The program stops with a message rather than register a font it misread.
void TestFontEdit::damagedFilesRejected() {
    QFETCH(QByteArray, font);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, edited(font));
}

QTEST_MAIN(TestFontEdit)
#include "tst_font_edit.moc"
