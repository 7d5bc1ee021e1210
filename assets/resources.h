#pragma once

#include <QFont>

// The program's pictures live in Qt resources under :/assets/ (banner.bmp and banner@2x.png for
// scaled screens, icon.ico, and icon-N.png at each size of the desktop's icon theme) and its font
// under :/fonts/ (tahoma.ttf, tahomabd.ttf, and tahosb.ttf, the regular face renamed "TahoSB");
// linking morvane_assets brings them in.
namespace assets {

// Registers the embedded Tahoma, regular and bold, with the application's font database, so the
// windows look the same whatever fonts the machine has. The build changed them so that lines lie
// as far apart as on Windows (assets/make_fonts.py). Needs a QGuiApplication. Registers once; later
// calls return at once. Throws std::runtime_error if a font cannot be loaded.
void loadFonts();

// Tahoma 8.25 point at the given weight (QFont::Normal, or QFont::Bold for the warning note), the
// windows' font, drawn with the font's own bitmaps where the screen is not scaled. On a scaled
// screen the bold is the regular face emboldened, registered for that as the family "TahoSB".
// Registers the embedded fonts first, so the family is never silently substituted.
QFont tahoma(int weight = QFont::Normal);

} // namespace assets
