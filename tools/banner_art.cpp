#include "tools/banner_art.h"

#include "tools/colours.h"
#include "tools/icon_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tools {
namespace {

// The first label starts at pixel row 104; the band ends well above it so the wash below has
// room to fade before any text.
constexpr int bandHeight = 92;
constexpr int stripeHeight = 3;
constexpr int washEnd = 190;

QFont pixelFont(const QString& family, int pixels, QFont::Weight weight) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// A speech bubble with its tail at the lower left: the add-on is a chat add-on.
QPainterPath bubble(const QRectF& body, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(body, radius, radius);
    QPainterPath tail;
    const qreal x = body.left() + body.width() * 0.22;
    tail.moveTo(x, body.bottom() - 1);
    tail.lineTo(x - body.width() * 0.06, body.bottom() + body.height() * 0.32);
    tail.lineTo(x + body.width() * 0.18, body.bottom() - 1);
    tail.closeSubpath();
    return path.united(tail);
}

void drawBand(QPainter& painter) {
    QLinearGradient band(0, 0, bannerWidth, bandHeight);
    band.setColorAt(0.0, QColor(colours::navy));
    band.setColorAt(0.55, QColor(colours::deepTeal));
    band.setColorAt(1.0, QColor(colours::teal));
    painter.fillRect(QRect(0, 0, bannerWidth, bandHeight), band);

    // Two overlapping bubbles, faint, balance the title on the right.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 34));
    painter.drawPath(bubble(QRectF(418, 12, 96, 46), 14));
    painter.setBrush(QColor(255, 255, 255, 22));
    painter.drawPath(bubble(QRectF(472, 32, 84, 38), 12));

    painter.fillRect(QRect(0, bandHeight - stripeHeight, bannerWidth, stripeHeight),
                     QColor(colours::amber));
}

void drawWash(QPainter& painter) {
    QLinearGradient wash(0, bandHeight, 0, washEnd);
    wash.setColorAt(0.0, QColor(0xdf, 0xee, 0xf2));
    wash.setColorAt(1.0, QColor(colours::white));
    painter.fillRect(QRect(0, bandHeight, bannerWidth, washEnd - bandHeight), wash);
}

void drawTitle(QPainter& painter, const QString& regularFamily, const QString& boldFamily) {
    const QString title = QStringLiteral("Morvane 4.8 Patch");
    const QString subtitle = QStringLiteral("PT Category Patch");
    const QPointF titleAt(92, 47);
    const QPointF subtitleAt(94, 71);

    // The packaged bold face is light for a heading of this size, so the title's outline is
    // stroked as well as filled to give it weight.
    QFont titleFont = pixelFont(boldFamily, 30, QFont::Bold);
    titleFont.setLetterSpacing(QFont::PercentageSpacing, 97);
    QPainterPath titlePath;
    titlePath.addText(titleAt, titleFont, title);
    painter.setPen(QPen(QColor(0, 0, 0, 70), 1.0));
    painter.setBrush(QColor(0, 0, 0, 70));
    painter.drawPath(titlePath.translated(1, 2));
    painter.setPen(QPen(QColor(colours::white), 0.9));
    painter.setBrush(QColor(colours::white));
    painter.drawPath(titlePath);

    painter.setFont(pixelFont(regularFamily, 15, QFont::Normal));
    painter.setPen(QColor(colours::mist));
    painter.drawText(subtitleAt, subtitle);
}

} // namespace

QImage drawBanner(const QString& regularFamily, const QString& boldFamily, int scale) {
    QImage image(bannerWidth * scale, bannerHeight * scale, QImage::Format_RGB32);
    image.fill(colours::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale, scale);
    drawWash(painter);
    drawBand(painter);
    // The icon is drawn at the banner's own resolution rather than enlarged.
    painter.drawImage(QRect(20, 16, 56, 56), drawIcon(56 * scale));
    drawTitle(painter, regularFamily, boldFamily);
    return image;
}

} // namespace tools
