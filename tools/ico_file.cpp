#include "tools/ico_file.h"

#include "tools/little_endian.h"

#include <QList>

#include <stdexcept>

namespace tools {
namespace {

constexpr int paletteSize = 256;

// Palette in order of first appearance, top row first, so the same picture gives the same bytes.
// Index 0 is black: transparent pixels point at it, as Windows expects under a set mask bit.
QList<QRgb> paletteOf(const QImage& image) {
    QList<QRgb> palette{qRgb(0, 0, 0)};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int alpha = qAlpha(pixel);
            if (alpha != 0 && alpha != 255)
                throw std::invalid_argument("icon pixels must be fully opaque or fully clear");
            if (alpha == 255 && !palette.contains(pixel | 0xff000000u))
                palette.append(pixel | 0xff000000u);
        }
    }
    if (palette.size() > paletteSize)
        throw std::invalid_argument("icon uses more than 256 colours");
    return palette;
}

} // namespace

QByteArray icoFileBytes(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const QList<QRgb> palette = paletteOf(image);
    const auto width = quint32(image.width());
    const auto height = quint32(image.height());
    if (width == 0 || width > 256 || height == 0 || height > 256)
        throw std::invalid_argument("icon sides must be 1 to 256 pixels");

    const quint32 colourStride = (width + 3) / 4 * 4;
    const quint32 maskStride = (width + 31) / 32 * 4;
    constexpr quint32 infoHeaderSize = 40;
    const quint32 imageBytes =
        infoHeaderSize + paletteSize * 4 + (colourStride + maskStride) * height;
    constexpr quint32 directorySize = 6 + 16;

    QByteArray out;
    // ICONDIR
    putU16(out, 0);
    putU16(out, 1); // type: icon
    putU16(out, 1); // one image
    // ICONDIRENTRY; 256 is written as 0, and so is a colour count of 256 or more.
    out.append(char(width & 0xff));
    out.append(char(height & 0xff));
    out.append(char(0));
    out.append(char(0));
    putU16(out, 1); // planes
    putU16(out, 8); // bits per pixel
    putU32(out, imageBytes);
    putU32(out, directorySize);
    // BITMAPINFOHEADER; the height counts the colour rows and the mask rows together.
    putU32(out, infoHeaderSize);
    putU32(out, width);
    putU32(out, height * 2);
    putU16(out, 1);
    putU16(out, 8);
    putU32(out, 0); // BI_RGB
    putU32(out, (colourStride + maskStride) * height);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, paletteSize);
    putU32(out, 0);
    for (int i = 0; i < paletteSize; ++i) {
        const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        const char bgrx[4] = {char(qBlue(colour)), char(qGreen(colour)), char(qRed(colour)), 0};
        out.append(bgrx, 4);
    }
    for (int y = int(height) - 1; y >= 0; --y) {
        QByteArray row(int(colourStride), '\0');
        for (quint32 x = 0; x < width; ++x) {
            const QRgb pixel = image.pixel(int(x), y);
            row[int(x)] = char(qAlpha(pixel) == 0 ? 0 : palette.indexOf(pixel | 0xff000000u));
        }
        out.append(row);
    }
    for (int y = int(height) - 1; y >= 0; --y) {
        QByteArray row(int(maskStride), '\0');
        for (quint32 x = 0; x < width; ++x) {
            if (qAlpha(image.pixel(int(x), y)) == 0)
                row[int(x / 8)] = char(row[int(x / 8)] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

} // namespace tools
