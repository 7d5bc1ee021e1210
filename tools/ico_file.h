#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace tools {

// The bytes of an icon file. Its first entry is small in 256 colours (8 bits per pixel, a
// palette of the picture's own colours) with a 1-bit transparency mask: the picture that old
// readers, and those that take the first entry only, show. small must be fully opaque or fully
// transparent in every pixel and use at most 256 opaque colours; anything else would be changed
// silently by the format, so it throws std::invalid_argument instead. Each picture of larger
// follows in 32-bit colour with alpha, one of 256 pixels stored as PNG as Windows reads that size.
QByteArray icoFileBytes(const QImage& small, const QList<QImage>& larger = {});

} // namespace tools
