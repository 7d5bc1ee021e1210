#include "tools/bmp_file.h"

#include "tools/little_endian.h"

namespace tools {

QByteArray bmpFileBytes(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    constexpr quint32 fileHeaderSize = 14;
    constexpr quint32 infoHeaderSize = 40;
    const auto pixelBytes = quint32(rgb.width()) * quint32(rgb.height()) * 4;

    QByteArray out;
    out.reserve(int(fileHeaderSize + infoHeaderSize + pixelBytes));
    // BITMAPFILEHEADER
    out.append("BM", 2);
    putU32(out, fileHeaderSize + infoHeaderSize + pixelBytes);
    putU16(out, 0);
    putU16(out, 0);
    putU32(out, fileHeaderSize + infoHeaderSize);
    // BITMAPINFOHEADER; a positive height is what marks the rows as bottom-up.
    putU32(out, infoHeaderSize);
    putU32(out, quint32(rgb.width()));
    putU32(out, quint32(rgb.height()));
    putU16(out, 1);  // planes
    putU16(out, 32); // bits per pixel
    putU32(out, 0);  // BI_RGB
    putU32(out, pixelBytes);
    putU32(out, bannerPixelsPerMetre);
    putU32(out, bannerPixelsPerMetre);
    putU32(out, 0); // colours used: no palette
    putU32(out, 0); // important colours: all

    // Each 32-bit row is already a multiple of four bytes long, so rows need no padding.
    for (int y = rgb.height() - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb pixel = line[x];
            const char bgrx[4] = {char(qBlue(pixel)), char(qGreen(pixel)), char(qRed(pixel)), 0};
            out.append(bgrx, 4);
        }
    }
    return out;
}

} // namespace tools
