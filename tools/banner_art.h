#pragma once

#include <QImage>
#include <QString>

namespace tools {

inline constexpr int bannerWidth = 581;
inline constexpr int bannerHeight = 282;

// The main window's banner: a dark title band naming the program across the top, then white. The
// window's black labels and the red status line sit on the lower part, so everything below the
// band stays light and the status line's strip stays pure white. scale draws the same picture with
// that many pixels to each of the window's, for screens that show more than one.
QImage drawBanner(const QString& regularFamily, const QString& boldFamily, int scale = 1);

} // namespace tools
