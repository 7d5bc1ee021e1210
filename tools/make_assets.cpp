// Draws the program's banner and icons and writes them into a folder, normally assets/:
//
//   cmake --build --preset default --target make_assets
//   build/default/tools/make_assets assets
//
// The files it writes are committed; the build only embeds them. See tools/README.md.

#include "tools/banner_art.h"
#include "tools/bmp_file.h"
#include "tools/ico_file.h"
#include "tools/icon_art.h"

#include <QBuffer>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QList>
#include <QSaveFile>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

// The banner's lettering comes from the packaged fonts themselves, never from whatever the
// machine would substitute, so every run draws the same pixels.
constexpr std::string_view fontFolder = "/usr/share/wine/fonts/";

// What Windows asks of a program's icon at each display scale, after the 16-pixel picture that
// leads the file: 20 and 24 for small icons at 125 % and 150 %, up to 256 for large views.
constexpr std::array windowsIconSizes{20, 24, 32, 40, 48, 64, 256};
// The sizes of the desktop icon theme (hicolor) besides 16.
constexpr std::array desktopIconSizes{22, 24, 32, 48, 64, 128, 256};

QString loadFont(std::string_view file) {
    const QString path = QString::fromUtf8(fontFolder.data(), qsizetype(fontFolder.size())) +
                         QString::fromUtf8(file.data(), qsizetype(file.size()));
    const int id = QFontDatabase::addApplicationFont(path);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (id < 0 || families.isEmpty())
        throw std::runtime_error("cannot load " + path.toStdString() +
                                 " (install Debian's package fonts-wine)");
    return families.first();
}

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw std::runtime_error("cannot encode a PNG");
    return bytes;
}

// QSaveFile leaves the old file in place if anything goes wrong halfway.
void writeFile(const QDir& folder, const QString& name, const QByteArray& bytes) {
    QSaveFile file(folder.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error("cannot write " + file.fileName().toStdString() + ": " +
                                 file.errorString().toStdString());
    std::printf("wrote %s (%lld bytes)\n", qPrintable(file.fileName()),
                static_cast<long long>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    // Drawing needs no screen; the offscreen platform keeps the tool usable without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets OUTPUT_FOLDER\n");
        return EXIT_FAILURE;
    }
    try {
        const QDir folder(QString::fromLocal8Bit(argv[1]));
        if (!folder.exists())
            throw std::runtime_error(std::string("no such folder: ") + argv[1]);
        const QString regular = loadFont("tahoma.ttf");
        const QString bold = loadFont("tahomabd.ttf");

        writeFile(folder, "banner.bmp", tools::bmpFileBytes(tools::drawBanner(regular, bold)));
        // The same banner for screens scaled to 150 % and more, which would otherwise enlarge
        // the one above and blur it.
        writeFile(folder, "banner@2x.png", pngBytes(tools::drawBanner(regular, bold, 2)));

        const QImage icon16 = tools::drawIcon16();
        QList<QImage> larger;
        for (const int size : windowsIconSizes)
            larger.append(tools::drawIcon(size));
        writeFile(folder, "icon.ico", tools::icoFileBytes(icon16, larger));
        // The same picture as PNGs at the desktop theme's sizes: the window's icon, cheaper to
        // decode at start-up, and the icons the Linux package installs.
        writeFile(folder, "icon-16.png", pngBytes(icon16));
        for (const int size : desktopIconSizes)
            writeFile(folder, QStringLiteral("icon-%1.png").arg(size),
                      pngBytes(tools::drawIcon(size)));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_assets: %s\n", error.what());
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
