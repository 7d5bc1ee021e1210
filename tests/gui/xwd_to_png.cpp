// Turns the screenshots that xwd takes of the test's X server into PNG files anyone can open.
// Only true-colour pictures of 24 or 32 bits per pixel are read: what Xvfb's 24-bit screen gives.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// The fields of the file header that the conversion needs, by their index among its 32-bit words.
enum Field {
    headerSize = 0,
    pixmapFormat = 2,
    width = 4,
    height = 5,
    byteOrder = 7,
    bitsPerPixel = 11,
    bytesPerLine = 12,
    visualClass = 13,
    redMask = 14,
    greenMask = 15,
    blueMask = 16,
    colourCount = 19,
    fieldCount = 25
};
constexpr std::uint32_t zPixmap = 2;
constexpr std::uint32_t trueColour = 4;
constexpr std::uint32_t directColour = 5;
constexpr qsizetype colourEntrySize = 12;

std::uint32_t bigEndian(const uchar* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

// The 8-bit value of the channel that `mask` selects.
int channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0)
        return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0)
        ++shift;
    const std::uint32_t maximum = mask >> shift;
    return int(((pixel & mask) >> shift) * 255 / maximum);
}

int fail(const char* file, const char* reason) {
    std::fprintf(stderr, "xwd_to_png: %s: %s\n", file, reason);
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: xwd_to_png <in.xwd> <out.png>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly))
        return fail(argv[1], "cannot be read");
    const QByteArray data = in.readAll();
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (data.size() < fieldCount * 4)
        return fail(argv[1], "too short for a header");
    std::array<std::uint32_t, fieldCount> header{};
    for (int field = 0; field < fieldCount; ++field)
        header[field] = bigEndian(bytes + 4 * field);

    const std::uint32_t bpp = header[bitsPerPixel];
    if (header[pixmapFormat] != zPixmap || (bpp != 24 && bpp != 32) ||
        (header[visualClass] != trueColour && header[visualClass] != directColour))
        return fail(argv[1], "not a true-colour picture of 24 or 32 bits per pixel");
    const qsizetype start = qsizetype(header[headerSize]) + colourEntrySize * header[colourCount];
    const qsizetype lineBytes = header[bytesPerLine];
    const int w = int(header[width]);
    const int h = int(header[height]);
    if (w <= 0 || h <= 0 || lineBytes < qsizetype(w) * (bpp / 8) ||
        start + lineBytes * h > data.size())
        return fail(argv[1], "shorter than its header says");

    const bool mostSignificantFirst = header[byteOrder] == 1;
    const int pixelBytes = int(bpp / 8);
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const uchar* line = bytes + start + lineBytes * y;
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const uchar* p = line + x * pixelBytes;
            std::uint32_t pixel = 0;
            for (int i = 0; i < pixelBytes; ++i) {
                const int shift = mostSignificantFirst ? 8 * (pixelBytes - 1 - i) : 8 * i;
                pixel |= std::uint32_t(p[i]) << shift;
            }
            out[x] = qRgb(channel(pixel, header[redMask]), channel(pixel, header[greenMask]),
                          channel(pixel, header[blueMask]));
        }
    }
    if (!picture.save(QString::fromLocal8Bit(argv[2]), "PNG"))
        return fail(argv[2], "cannot be written");
    return 0;
}
