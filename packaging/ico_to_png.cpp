// Writes the program icon's 16-pixel picture as a PNG: the desktop's icon theme reads PNG, while
// the icon itself is kept in the Windows format the program file carries.
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: ico_to_png <icon.ico> <pixels> <out.png>\n");
        return 2;
    }
    const int pixels = QString::fromLocal8Bit(argv[2]).toInt();
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    // An icon file may hold several pictures; the one of the asked size is taken, never a
    // scaled copy of another, so the theme shows the drawn pixels.
    QImage picture;
    do {
        QImage candidate = reader.read();
        if (candidate.isNull())
            break;
        if (candidate.width() == pixels && candidate.height() == pixels) {
            picture = candidate;
            break;
        }
    } while (reader.jumpToNextImage());
    if (picture.isNull()) {
        std::fprintf(stderr, "ico_to_png: %s holds no %d-pixel picture (%s)\n", argv[1], pixels,
                     qPrintable(reader.errorString()));
        return 1;
    }
    if (!picture.convertToFormat(QImage::Format_ARGB32)
             .save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "ico_to_png: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
