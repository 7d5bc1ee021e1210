#include "controls/not_text_font.h"

namespace controls {

QFont notTextFont() {
    // Only the italic is set, so the view fills in its own family and size.
    QFont font;
    font.setItalic(true);
    return font;
}

} // namespace controls
