#include "assets/resources.h"

#include "assets/font_edit.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include <array>
#include <stdexcept>
#include <string>

namespace assets {
namespace {

constexpr std::array fontResources{":/fonts/tahoma.ttf", ":/fonts/tahomabd.ttf"};
constexpr auto fontFamily = "Tahoma";
constexpr double fontPoints = 8.25;

// The font as the windows use it: Qt would otherwise set its lines closer than the layout, which
// was measured on Windows, leaves room for.
QByteArray classicLayoutFont(const char* resource) {
    QFile file(QString::fromLatin1(resource));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(std::string("The program could not read its built-in font ") +
                                 resource + ".");
    const QByteArray packaged = file.readAll();
    try {
        const std::string copy = classicLayoutCopy(
            std::string_view(packaged.constData(), static_cast<std::size_t>(packaged.size())));
        return QByteArray(copy.data(), static_cast<qsizetype>(copy.size()));
    } catch (const std::runtime_error& failure) {
        throw std::runtime_error(std::string("The program's built-in font ") + resource +
                                 " is damaged: " + failure.what() + ".");
    }
}

void addFont(const char* resource) {
    const int id = QFontDatabase::addApplicationFontFromData(classicLayoutFont(resource));
    if (id < 0) {
        throw std::runtime_error(std::string("The program could not load its built-in font ") +
                                 resource + ".");
    }
    if (!QFontDatabase::applicationFontFamilies(id).contains(QLatin1String(fontFamily))) {
        QFontDatabase::removeApplicationFont(id);
        throw std::runtime_error(std::string("The program's built-in font ") + resource +
                                 " is not the " + fontFamily + " font it expects.");
    }
}

} // namespace

void loadFonts() {
    // Everything runs on the one user-interface thread, so a plain flag is enough; it is set only
    // once both fonts are in, so a failed attempt is tried again on the next call.
    static bool loaded = false;
    if (loaded)
        return;
    for (const char* resource : fontResources)
        addFont(resource);
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
    } else if (weight >= QFont::Bold) {
        // A scaled screen gets the smoothed outlines, as no bitmap fits it; there Qt's
        // emboldening of the regular face is what looks bold.
        font.setStyleName(QStringLiteral("Regular"));
    }
    return font;
}

} // namespace assets
