#pragma once

#include <QByteArray>
#include <QImage>

namespace tools {

// The resolution stored in the banner's header, 72 dots per inch; Windows shows the picture at
// its natural size whatever this says, but other viewers use it.
inline constexpr int bannerPixelsPerMetre = 2833;

// The bytes of a Windows bitmap file holding the image: 32 bits per pixel, uncompressed (BI_RGB),
// rows bottom-up, bannerPixelsPerMetre both ways. The fourth byte of each pixel is reserved in
// this format and written as zero.
QByteArray bmpFileBytes(const QImage& image);

} // namespace tools
