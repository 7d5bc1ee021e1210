#include "tools/ico_file.h"

#include "tools/little_endian.h"

#include <QBuffer>

#include <stdexcept>

namespace tools {
namespace {

constexpr int paletteSize = 256;
constexpr quint32 infoHeaderSize = 40;
constexpr quint32 directoryHeaderSize = 6;
constexpr quint32 directoryEntrySize = 16;

struct Entry {
    int side;
    int bitsPerPixel;
    QByteArray bytes;
};

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

int checkedSide(const QImage& image) {
    if (image.width() != image.height() || image.width() < 1 || image.width() > 256)
        throw std::invalid_argument("icon pictures must be square, 1 to 256 pixels a side");
    return image.width();
}

// BITMAPINFOHEADER; the height counts the colour rows and the mask rows together.
void putInfoHeader(QByteArray& out, quint32 side, quint16 bitsPerPixel, quint32 imageBytes,
                   quint32 coloursUsed) {
    putU32(out, infoHeaderSize);
    putU32(out, side);
    putU32(out, side * 2);
    putU16(out, 1);
    putU16(out, bitsPerPixel);
    putU32(out, 0); // BI_RGB
    putU32(out, imageBytes);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, coloursUsed);
    putU32(out, 0);
}

// One bit a pixel, set where the picture is clear; rows bottom-up, padded to 32 bits.
void putMask(QByteArray& out, const QImage& image) {
    const int stride = (image.width() + 31) / 32 * 4;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
}

Entry paletteEntry(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const auto side = quint32(checkedSide(image));
    const QList<QRgb> palette = paletteOf(image);
    const quint32 colourStride = (side + 3) / 4 * 4;
    const quint32 maskStride = (side + 31) / 32 * 4;

    QByteArray out;
    putInfoHeader(out, side, 8, (colourStride + maskStride) * side, paletteSize);
    for (int i = 0; i < paletteSize; ++i) {
        const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        const char bgrx[4] = {char(qBlue(colour)), char(qGreen(colour)), char(qRed(colour)), 0};
        out.append(bgrx, 4);
    }
    for (int y = int(side) - 1; y >= 0; --y) {
        QByteArray row(int(colourStride), '\0');
        for (quint32 x = 0; x < side; ++x) {
            const QRgb pixel = image.pixel(int(x), y);
            row[int(x)] = char(qAlpha(pixel) == 0 ? 0 : palette.indexOf(pixel | 0xff000000u));
        }
        out.append(row);
    }
    putMask(out, image);
    return {int(side), 8, out};
}

Entry trueColourEntry(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const auto side = quint32(checkedSide(image));
    QByteArray out;
    if (side == 256) {
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            throw std::runtime_error("cannot encode a PNG");
        return {int(side), 32, out};
    }
    const quint32 maskStride = (side + 31) / 32 * 4;
    putInfoHeader(out, side, 32, (side * 4 + maskStride) * side, 0);
    for (int y = int(side) - 1; y >= 0; --y) {
        for (quint32 x = 0; x < side; ++x) {
            const QRgb pixel = image.pixel(int(x), y);
            const char bgra[4] = {char(qBlue(pixel)), char(qGreen(pixel)), char(qRed(pixel)),
                                  char(qAlpha(pixel))};
            out.append(bgra, 4);
        }
    }
    putMask(out, image);
    return {int(side), 32, out};
}

} // namespace

QByteArray icoFileBytes(const QImage& small, const QList<QImage>& larger) {
    QList<Entry> entries{paletteEntry(small)};
    for (const QImage& image : larger)
        entries.append(trueColourEntry(image));

    QByteArray out;
    // ICONDIR
    putU16(out, 0);
    putU16(out, 1); // type: icon
    putU16(out, quint16(entries.size()));
    quint32 offset = directoryHeaderSize + directoryEntrySize * quint32(entries.size());
    for (const Entry& entry : entries) {
        // ICONDIRENTRY; 256 is written as 0, and so is a colour count of 256 or more.
        out.append(char(entry.side & 0xff));
        out.append(char(entry.side & 0xff));
        out.append(char(0));
        out.append(char(0));
        putU16(out, 1); // planes
        putU16(out, quint16(entry.bitsPerPixel));
        putU32(out, quint32(entry.bytes.size()));
        putU32(out, offset);
        offset += quint32(entry.bytes.size());
    }
    for (const Entry& entry : entries)
        out.append(entry.bytes);
    return out;
}

} // namespace tools
