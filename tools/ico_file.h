#pragma once

#include <QByteArray>
#include <QImage>

namespace tools {

// The bytes of an icon file holding the image as its single entry: 256 colours (8 bits per pixel,
// a palette of the image's own colours) with a 1-bit transparency mask. The image must be fully
// opaque or fully transparent in every pixel and use at most 256 opaque colours; anything else
// would be changed silently by the format, so it throws std::invalid_argument instead.
QByteArray icoFileBytes(const QImage& image);

} // namespace tools
