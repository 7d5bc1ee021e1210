#include "assets/resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include <array>
#include <stdexcept>
#include <string>

namespace assets {
namespace {

// Made at build time so that lines lie as far apart as on Windows, where the windows' layout was
// measured (make_fonts.py says how).
constexpr std::array fontResources{":/fonts/tahoma.ttf", ":/fonts/tahomabd.ttf"};
constexpr auto fontFamily = "Tahoma";
// The regular face again, under a family of its own that has no bold face.
constexpr auto emboldenedResource = ":/fonts/tahosb.ttf";
constexpr auto emboldenedFamily = "TahoSB";
constexpr double fontPoints = 8.25;

QByteArray builtInFont(const char* resource) {
    QFile file(QString::fromLatin1(resource));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(std::string("The program could not read its built-in font ") +
                                 resource + ".");
    return file.readAll();
}

void addFont(const QByteArray& font, const char* resource, const char* family) {
    const int id = QFontDatabase::addApplicationFontFromData(font);
    if (id < 0) {
        throw std::runtime_error(std::string("The program could not load its built-in font ") +
                                 resource + ".");
    }
    if (!QFontDatabase::applicationFontFamilies(id).contains(QLatin1String(family))) {
        QFontDatabase::removeApplicationFont(id);
        throw std::runtime_error(std::string("The program's built-in font ") + resource +
                                 " is not the " + family + " font it expects.");
    }
}

// On a scaled screen no hand-drawn bitmap fits, and the outlines of Wine's bold face have the
// stems of the regular one, so bold text would look regular; GDI would even pick that face
// before emboldening anything. Asked for bold in a family that has only the regular face, every
// font engine emboldens it (FreeType on Linux, GDI or DirectWrite on Windows). Loaded only once a
// scaled screen asks for it, so a screen at its natural size pays nothing.
void loadEmboldenedFamily() {
    static bool loaded = false;
    if (loaded)
        return;
    addFont(builtInFont(emboldenedResource), emboldenedResource, emboldenedFamily);
    loaded = true;
}

} // namespace

void loadFonts() {
    // Everything runs on the one user-interface thread, so a plain flag is enough; it is set only
    // once both fonts are in, so a failed attempt is tried again on the next call.
    static bool loaded = false;
    if (loaded)
        return;
    for (const char* resource : fontResources)
        addFont(builtInFont(resource), resource, fontFamily);
    loaded = true;
}

QFont tahoma(int weight) {
    loadFonts();
    QFont font(QString::fromLatin1(fontFamily));
    font.setPointSizeF(fontPoints);
    font.setWeight(static_cast<QFont::Weight>(weight));
    if (qGuiApp->devicePixelRatio() <= 1.0) {
        // At the windows' size the font's hand-drawn bitmaps are the letters Windows showed, and
        // its gasp table asks for them unsmoothed. They are also the only place where Wine's
        // bold face is bold: its outlines have the stems of the regular one. Bitmaps stand on
        // whole pixels, so their advances must too: full hinting gives them that.
        font.setStyleStrategy(QFont::NoAntialias);
        font.setHintingPreference(QFont::PreferFullHinting);
        return font;
    }
    // A scaled screen gets the smoothed outlines, hinted lightly as Linux desktops hint them by
    // default. Said here, it holds wherever FreeType draws the letters: on Windows its default
    // is full hinting, whose advances broke the labels' lines elsewhere than on Linux.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    if (weight >= QFont::Bold) {
        // The regular outlines, emboldened, look bold.
        loadEmboldenedFamily();
        font.setFamily(QString::fromLatin1(emboldenedFamily));
        // GDI widens every emboldened letter by a pixel, which wraps the warning note onto a
        // fourth line its label has no room for; the letters are set that much closer again.
        // FreeType's emboldening keeps the advances, and so nothing changes there.
        const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
        QFont regular = font;
        regular.setWeight(QFont::Normal);
        const qreal widening = (QFontMetricsF(font).horizontalAdvance(letters) -
                                QFontMetricsF(regular).horizontalAdvance(letters)) /
                               letters.size();
        if (widening > 0)
            font.setLetterSpacing(QFont::AbsoluteSpacing, -widening);
    }
    return font;
}

} // namespace assets
