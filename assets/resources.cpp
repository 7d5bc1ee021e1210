#include "assets/resources.h"

#include <QFontDatabase>
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

void addFont(const char* resource) {
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(resource));
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
    return font;
}

} // namespace assets
