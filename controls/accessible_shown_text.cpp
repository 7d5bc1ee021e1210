#include "controls/accessible_controls.h"

namespace controls {

void AccessibleShownText::selection(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
}

QString AccessibleShownText::text(int startOffset, int endOffset) const {
    return shown().mid(startOffset, endOffset - startOffset);
}

int AccessibleShownText::characterCount() const {
    return int(shown().size());
}

QString AccessibleShownText::attributes(int, int* startOffset, int* endOffset) const {
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

} // namespace controls
