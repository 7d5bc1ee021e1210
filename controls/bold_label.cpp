#include "controls/bold_label.h"

#include <QPainter>
#include <QStyle>

namespace controls {

namespace {

// In the window's own pixels, so the stems grow with the scale.
constexpr qreal secondPass = 0.25;

} // namespace

BoldLabel::BoldLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent) {}

// Plain text is drawn as QLabel draws it, the style's item text in the contents less the margin.
void BoldLabel::paintEvent(QPaintEvent* event) {
    if (devicePixelRatioF() <= 1.0 || textFormat() != Qt::PlainText)
        return QLabel::paintEvent(event);
    QPainter painter(this);
    const Qt::LayoutDirection direction =
        text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    int flags = QStyle::visualAlignment(direction, alignment());
    flags |= direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft;
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    const QRect area =
        contentsRect().marginsRemoved(QMargins(margin(), margin(), margin(), margin()));
    for (const qreal offset : {0.0, secondPass}) {
        painter.setTransform(QTransform::fromTranslate(offset, 0));
        style()->drawItemText(&painter, area, flags, palette(), isEnabled(), text(),
                              foregroundRole());
    }
}

} // namespace controls
