#include "tools/icon_art.h"

#include "tools/colours.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <string_view>

namespace tools {
namespace {

// k outline, b bubble, d bubble's shaded lower half, w white, o badge outline, a amber.
constexpr std::array<std::string_view, 16> icon16{
    "................", //
    ".kkkkkkkkkkkkkk.", //
    "kbbbbbbbbbbbbbbk", //
    "kbbwwbbbbbbwwbbk", //
    "kbbwwwbbbbwwwbbk", //
    "kbbwwwwbbwwwwbbk", //
    "kbbwwbwwwwbwwbbk", //
    "kddwwddwwddwwddk", //
    "kddwwddddddwwddk", //
    "kddddddddoooodk.", //
    ".kkkddkkoaaaaok.", //
    "...kdk.oaawaaao.", //
    "...kk..oawwwaao.", //
    "...k...oaawaaao.", //
    "........oaaaao..", //
    ".........oooo...", //
};

constexpr bool icon16IsSquare() {
    for (const std::string_view row : icon16) {
        if (row.size() != icon16.size())
            return false;
    }
    return true;
}
static_assert(icon16IsSquare(), "every row of the small icon needs 16 pixels");

QRgb icon16Colour(char c) {
    switch (c) {
    case 'k':
        return colours::navy;
    case 'b':
        return colours::teal;
    case 'd':
        return colours::deepTeal;
    case 'w':
        return colours::white;
    case 'o':
        return colours::darkAmber;
    case 'a':
        return colours::amber;
    default:
        return qRgba(0, 0, 0, 0);
    }
}

} // namespace

QImage drawIcon16() {
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, icon16Colour(icon16[size_t(y)][size_t(x)]));
    }
    return image;
}

QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on the 16-unit grid of the small icon, so every size keeps its proportions.
    painter.scale(size / 16.0, size / 16.0);
    const qreal line = 16.0 / size < 0.5 ? 0.5 : 16.0 / size;

    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(0.5, 1.5, 15, 9), 2.6, 2.6);
    QPainterPath tail;
    tail.moveTo(3.2, 10.0);
    tail.lineTo(3.2, 13.6);
    tail.lineTo(6.6, 10.0);
    tail.closeSubpath();
    bubble = bubble.united(tail);

    QLinearGradient body(0, 1.5, 0, 12);
    body.setColorAt(0.0, QColor(colours::lightTeal));
    body.setColorAt(0.45, QColor(colours::teal));
    body.setColorAt(1.0, QColor(colours::deepTeal));
    painter.setBrush(body);
    painter.setPen(QPen(QColor(colours::navy), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(bubble);

    // The letter follows the pixels of the small icon: two-unit stems and a V meeting between
    // them.
    const QPolygonF letter{{3, 3},  {5, 3},    {8, 6},   {11, 3},  {13, 3}, {13, 9},
                           {11, 9}, {11, 5.8}, {8, 8.6}, {5, 5.8}, {5, 9},  {3, 9}};
    painter.setBrush(QColor(colours::white));
    painter.setPen(Qt::NoPen);
    painter.drawPolygon(letter);

    const QPointF badgeCentre(11.5, 12.0);
    QRadialGradient badge(badgeCentre - QPointF(0.9, 0.9), 3.6);
    badge.setColorAt(0.0, QColor(0xff, 0xc9, 0x7a));
    badge.setColorAt(1.0, QColor(colours::amber));
    painter.setBrush(badge);
    painter.setPen(QPen(QColor(colours::darkAmber), line));
    painter.drawEllipse(badgeCentre, 3.3, 3.3);
    painter.setPen(QPen(QColor(colours::white), 1.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(badgeCentre - QPointF(1.6, 0), badgeCentre + QPointF(1.6, 0));
    painter.drawLine(badgeCentre - QPointF(0, 1.6), badgeCentre + QPointF(0, 1.6));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace tools
