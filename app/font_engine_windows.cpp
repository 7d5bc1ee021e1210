#include "app/font_engine.h"

#include <QByteArray>

// Windows' own engines (GDI and DirectWrite) drew the built-in Tahoma with hooks, stems and
// hyphens missing under Wine at 100, 125 and 150 %, and set it wider than Linux does, so labels
// broke their lines elsewhere. Qt's FreeType engine draws the same letters from the same font
// file as on Linux. A platform the user named himself is left as it is.
void chooseFontEngine() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "windows:fontengine=freetype");
}
