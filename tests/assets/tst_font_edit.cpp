#include "assets/font_edit.h"
#include "tests/assets/file_fields.h"

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

QByteArray renamed(const QByteArray& font, std::string_view from, std::string_view to) {
    const std::string copy =
        assets::renamedCopy(std::string_view(font.constData(), std::size_t(font.size())), from, to);
    return QByteArray(copy.data(), qsizetype(copy.size()));
}

// Windows rounds winAscent (2049) and winDescent (423) each to whole pixels.
int windowsPixels(int fontUnits, int pixelsPerEm) {
    return int(std::lround(double(fontUnits) * pixelsPerEm / 2048));
}

} // namespace

class TestFontEdit : public QObject {
    Q_OBJECT

private slots:
    void checksumsHold_data();
    void checksumsHold();
    void linesAsOnWindows_data();
    void linesAsOnWindows();
    void damagedFilesRejected_data();
    void damagedFilesRejected();
    void renamedFamily();
};

void TestFontEdit::checksumsHold_data() {
    QTest::addColumn<QByteArray>("font");
    QTest::addColumn<QByteArray>("copy");
    const QByteArray regular = file_fields::resource(QStringLiteral(":/fonts/tahoma.ttf"));
    const QByteArray bold = file_fields::resource(QStringLiteral(":/fonts/tahomabd.ttf"));
    QTest::newRow("regular") << regular << edited(regular);
    QTest::newRow("bold") << bold << edited(bold);
    QTest::newRow("renamed") << regular << renamed(edited(regular), "Tahoma", "TahoSB");
}

// Windows refuses a font whose checksums do not hold: every table must carry its sum, and head
// the adjustment that brings the whole file to the fixed total.
void TestFontEdit::checksumsHold() {
    QFETCH(QByteArray, font);
    QFETCH(QByteArray, copy);
    QCOMPARE(copy.size(), font.size());
    for (int i = 0; i < int(readBig(copy, 4, 2)); ++i) {
        const qsizetype record = 12 + 16 * i;
        QByteArray table = copy.mid(readBig(copy, record + 8, 4), readBig(copy, record + 12, 4));
        if (copy.mid(record, 4) == "head")
            table.replace(8, 4, QByteArray(4, '\0'));
        QVERIFY2(checksum(table) == readBig(copy, record + 4, 4), copy.mid(record, 4).constData());
    }
    QCOMPARE(checksum(copy), 0xB1B0AFBAu);
}

void TestFontEdit::linesAsOnWindows_data() {
    QTest::addColumn<QByteArray>("font");
    QTest::addColumn<int>("pixels");
    for (int pixels : {8, 9, 10, 11, 12, 13, 15, 16, 22}) {
        QTest::addRow("regular %d px", pixels)
            << file_fields::resource(QStringLiteral(":/fonts/tahoma.ttf")) << pixels;
        QTest::addRow("bold %d px", pixels)
            << file_fields::resource(QStringLiteral(":/fonts/tahomabd.ttf")) << pixels;
    }
}

// A raw font opens the face afresh, which is when Qt mixes the bitmaps' line metrics with
// FreeType's outline ones; at every bitmap size, and beyond, both must round as Windows does.
void TestFontEdit::linesAsOnWindows() {
    QFETCH(QByteArray, font);
    QFETCH(int, pixels);
    const QRawFont raw(edited(font), pixels, QFont::PreferFullHinting);
    QVERIFY(raw.isValid());
    QCOMPARE(qRound(raw.ascent()), windowsPixels(2049, pixels));
    QCOMPARE(qRound(raw.ascent() + raw.descent() + raw.leading()),
             windowsPixels(2049, pixels) + windowsPixels(423, pixels));
}

void TestFontEdit::damagedFilesRejected_data() {
    const QByteArray regular = file_fields::resource(QStringLiteral(":/fonts/tahoma.ttf"));
    QTest::addColumn<QByteArray>("font");
    QTest::newRow("not a font") << file_fields::resource(QStringLiteral(":/assets/icon-32.png"));
    QTest::newRow("directory cut short") << regular.left(100);
    QTest::newRow("tables cut short") << regular.left(regular.size() / 2);
}

// The program stops with a message rather than register a font it misread.
void TestFontEdit::damagedFilesRejected() {
    QFETCH(QByteArray, font);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, edited(font));
}

// The copy that the program emboldens on scaled screens is a family of its own, with no bold face
// for the font matcher to pick instead; a name that would move bytes is refused.
void TestFontEdit::renamedFamily() {
    const QByteArray regular = file_fields::resource(QStringLiteral(":/fonts/tahoma.ttf"));
    const QRawFont raw(renamed(regular, "Tahoma", "TahoSB"), 11, QFont::PreferFullHinting);
    QVERIFY(raw.isValid());
    QCOMPARE(raw.familyName(), QStringLiteral("TahoSB"));
    QCOMPARE(raw.weight(), int(QFont::Normal));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, renamed(regular, "Arial ", "Arial2"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, renamed(regular, "Tahoma", "Tahoma2"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, renamed(regular, "Tahoma", "Tahom\xE9"));
}

QTEST_MAIN(TestFontEdit)
#include "tst_font_edit.moc"
