#include "controls/status_line.h"

#include "controls/accessibility.h"

#include <QAccessible>

namespace controls {

StatusLine::StatusLine(QWidget* parent)
    : QLabel(parent) {
    installAccessibility();
}

// A label with a name of its own tells nothing when its text changes; the text event carries the
// text itself, which reaches the reader while the run still holds the program.
void StatusLine::setStatus(const QString& text) {
    const QString before = this->text();
    setText(text);
    if (!QAccessible::isActive() || before == text)
        return;
    QAccessibleTextUpdateEvent event(this, 0, before, text);
    QAccessible::updateAccessibility(&event);
}

} // namespace controls
