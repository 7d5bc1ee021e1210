#include "controls/message_box.h"

#include <QTextBoundaryFinder>

namespace controls {

namespace {

// Wider than this, a run of text without a blank could push the box past its widest.
constexpr int widestUnbrokenRun = 300; // pixels

constexpr QChar zeroWidthSpace(0x200B);

// Every grapheme of run, each followed by a zero-width space.
QString breakAnywhere(const QString& run) {
    QString out;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, run);
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end > 0; end = graphemes.toNextBoundary()) {
        out += run.mid(start, end - start);
        out += zeroWidthSpace;
        start = end;
    }
    return out;
}

} // namespace

// A message box wraps only between words and grows to fit its widest word; past its own limit
// it cuts that word off. A long file name or path has no blank, so a run too wide to fit gets an
// invisible break opportunity after each character: it then wraps inside the box, whole.
QString breakableText(const QString& text, const QFontMetrics& metrics) {
    QString out;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        const bool blank = text.at(start).isSpace();
        while (end < text.size() && text.at(end).isSpace() == blank)
            ++end;
        const QString run = text.mid(start, end - start);
        out +=
            !blank && metrics.horizontalAdvance(run) > widestUnbrokenRun ? breakAnywhere(run) : run;
        start = end;
    }
    return out;
}

QMessageBox::StandardButton messageBox(QWidget* parent, const QString& title, const QString& text,
                                       QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, QString(), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(breakableText(text, box.fontMetrics()));
    box.setWindowModality(Qt::ApplicationModal);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace controls
