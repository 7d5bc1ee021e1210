#pragma once

#include <QColor>

// One set of colours for the banner and the icon, so they read as the same program.
namespace tools::colours {

inline constexpr QRgb navy = 0xff0b2545;
inline constexpr QRgb deepTeal = 0xff13496b;
inline constexpr QRgb teal = 0xff177e89;
inline constexpr QRgb lightTeal = 0xff4fb3bf;
inline constexpr QRgb mist = 0xffc4e6ec;
inline constexpr QRgb amber = 0xfff2a541;
inline constexpr QRgb darkAmber = 0xffa8620f;
inline constexpr QRgb white = 0xffffffff;

} // namespace tools::colours
