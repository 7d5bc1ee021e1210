#pragma once

#include <QRect>

namespace controls {

// Layouts are drawn in twips; at 96 dots per inch a pixel is 15 of them. On high-DPI screens Qt
// scales the logical pixels, so this one conversion serves every screen.
inline constexpr int twipsPerPixel = 15;

// Rounds to the nearest pixel: the two positions that are not whole pixels (113 and 1733)
// land where the classic layout puts them.
constexpr int twipsToPixels(int twips) {
    return (twips + twipsPerPixel / 2) / twipsPerPixel;
}

static_assert(twipsToPixels(113) == 8);
static_assert(twipsToPixels(1733) == 116);
static_assert(twipsToPixels(8715) == 581);

// A control's place and size in twips, from the top-left corner of the client area.
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

constexpr QRect toPixels(TwipsRect r) {
    return QRect(twipsToPixels(r.left), twipsToPixels(r.top), twipsToPixels(r.width),
                 twipsToPixels(r.height));
}

} // namespace controls
