// Every character of both windows' texts, drawn in the control's own font at the screen's scale.
// On Linux the drawings and each label's line breaks are kept as the reference; on Windows they
// are compared with it, so that a letter drawn with a hook, stem or mark missing, or text set
// wider than on Linux, fails here rather than in front of a user.

#include "tests/ui/frmpatch_helpers.h"
#include "ui/frm_info.h"
#include "ui/frm_patch.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

using namespace frmpatch_helpers;

namespace {

// A character as one control draws it.
struct Glyph {
    QString control;
    QChar character;
    QImage image;

    QString fileName() const {
        return QStringLiteral("%1-%2.png")
            .arg(control)
            .arg(character.unicode(), 4, 16, QLatin1Char('0'));
    }
};

#ifdef Q_OS_WIN
double difference(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < std::max(a.height(), b.height()); ++y)
        for (int x = 0; x < std::max(a.width(), b.width()); ++x) {
            const auto gray = [x, y](const QImage& image) {
                return image.valid(x, y) ? qGray(image.pixel(x, y)) : 255;
            };
            sum += std::abs(gray(a) - gray(b));
        }
    return sum / 255; // in fully black pixels, as ink counts
}
#endif

// The control draws the character alone, at its top-left corner, on white; a control that is no
// label (a button, the text box) lends its font to a plain label, as their frames differ by
// style and system while their letters must not.
QImage drawn(QWidget* control, QChar character) {
    auto* label = qobject_cast<QLabel*>(control);
    QLabel probe;
    if (!label) {
        probe.setFont(control->font());
        probe.setAlignment(Qt::AlignLeft | Qt::AlignTop);
        probe.resize(100, 100);
        label = &probe;
    }
    const QString text = label->text();
    label->setText(character);
    const qreal ratio = qApp->devicePixelRatio();
    const QFontMetrics metrics(label->font());
    const QSize cell(3 * metrics.height(), 2 * metrics.height());
    QImage image((QSizeF(cell) * ratio).toSize(), QImage::Format_Grayscale8);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    label->render(&image, QPoint(), QRegion(QRect(QPoint(), cell)), QWidget::RenderFlags());
    label->setText(text);
    image.setDevicePixelRatio(1);
    return image;
}

QString textOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text().remove(QLatin1Char('&'));
    if (auto* box = qobject_cast<QPlainTextEdit*>(control))
        return box->toPlainText();
    return {};
}

std::vector<Glyph> glyphsOf(QWidget& window) {
    std::vector<Glyph> glyphs;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        QString characters = textOf(control);
        std::sort(characters.begin(), characters.end());
        characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
        for (QChar character : characters)
            if (character.isPrint() && !character.isSpace())
                glyphs.push_back({window.objectName() + QLatin1Char('.') + control->objectName(),
                                  character, drawn(control, character)});
    }
    return glyphs;
}

// Where each line of a wrapped label begins, laid out as the label lays out its plain text.
QString lineStarts(QLabel* label) {
    QTextLayout layout(label->text(), label->font());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList starts;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label->contentsRect().width());
        starts << QString::number(line.textStart());
    }
    layout.endLayout();
    return label->objectName() + QLatin1Char(':') + starts.join(QLatin1Char(' '));
}

QStringList lineStartsOf(QWidget& window) {
    QStringList lines;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->wordWrap() && !label->text().isEmpty())
            lines << window.objectName() + QLatin1Char('.') + lineStarts(label);
    return lines;
}

// Where the Linux build keeps its drawings for this scale.
QDir referenceFolder() {
    const QString scale =
        QString::number(qRound(qApp->devicePixelRatio() * 100)) + QStringLiteral("%");
    return QDir(qEnvironmentVariable("MORVANE_GLYPHS") + QLatin1Char('/') + scale);
}

} // namespace

class tst_Glyphs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void lettersAsOnLinux();
    void lineBreaksAsOnLinux();

private:
    Machine machine;
    std::vector<Glyph> glyphs;
    QStringList lineStarts;
};

void tst_Glyphs::initTestCase() {
    if (qEnvironmentVariableIsEmpty("MORVANE_GLYPHS"))
        QSKIP("MORVANE_GLYPHS names no folder for the Linux drawings");
    frmPatch main(machine.volumes());
    frmInfo info;
    for (QWidget* window : {static_cast<QWidget*>(&main), static_cast<QWidget*>(&info)}) {
        for (Glyph& glyph : glyphsOf(*window))
            glyphs.push_back(std::move(glyph));
        lineStarts << lineStartsOf(*window);
    }
    QVERIFY(glyphs.size() > 100);
}

void tst_Glyphs::lettersAsOnLinux() {
    const QDir reference = referenceFolder();
#ifdef Q_OS_WIN
    if (!reference.exists(glyphs.front().fileName()))
        QSKIP(
            qPrintable("No Linux drawings in " + reference.path() + ": run the Linux tests first"));
    // A letter differs when the pixels that differ carry more than a fifth of its ink: a lost
    // stem or hook does, a shade more or less at an edge does not.
    QStringList differing;
    double worst = 0;
    for (const Glyph& glyph : glyphs) {
        const QImage linux(reference.filePath(glyph.fileName()));
        QVERIFY2(!linux.isNull(), qPrintable(reference.filePath(glyph.fileName())));
        const double share =
            difference(glyph.image, linux) / std::max({ink(glyph.image), ink(linux), 1.0});
        worst = std::max(worst, share);
        if (share > 0.2) {
            differing << QStringLiteral("'%1' in %2 (%3 %)")
                             .arg(glyph.character)
                             .arg(glyph.control)
                             .arg(qRound(share * 100));
            const QDir kept(QDir::current().filePath(QStringLiteral("glyphs-differing")));
            kept.mkpath(QStringLiteral("."));
            glyph.image.save(kept.filePath(glyph.fileName()));
        }
    }
    qInfo("%zu letters compared; the most any differs: %d %% of its ink", glyphs.size(),
          qRound(worst * 100));
    QVERIFY2(differing.isEmpty(),
             qPrintable("Drawn otherwise than on Linux: " + differing.join(QStringLiteral(", "))));
#else
    // The drawings become the reference; each letter must at least have ink.
    QVERIFY(reference.mkpath(QStringLiteral(".")));
    for (const Glyph& glyph : glyphs) {
        QVERIFY2(
            ink(glyph.image) > 0,
            qPrintable(
                QStringLiteral("'%1' in %2 has no ink").arg(glyph.character).arg(glyph.control)));
        QVERIFY(glyph.image.save(reference.filePath(glyph.fileName())));
    }
#endif
}

void tst_Glyphs::lineBreaksAsOnLinux() {
    QFile file(referenceFolder().filePath(QStringLiteral("line-starts.txt")));
#ifdef Q_OS_WIN
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        QSKIP(qPrintable("No Linux line breaks in " + file.fileName() +
                         ": run the Linux tests first"));
    QCOMPARE(lineStarts,
             QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts));
#else
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate));
    file.write(lineStarts.join(QLatin1Char('\n')).toUtf8() + '\n');
#endif
}

QTEST_MAIN(tst_Glyphs)
#include "tst_glyphs.moc"
