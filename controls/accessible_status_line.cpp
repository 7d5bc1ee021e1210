#include "controls/accessible_controls.h"

#include <QLabel>

namespace controls {

AccessibleStatusLine::AccessibleStatusLine(QWidget* widget)
    : QAccessibleWidget(widget, QAccessible::StatusBar) {}

QString AccessibleStatusLine::shown() const {
    return static_cast<QLabel*>(widget())->text();
}

QString AccessibleStatusLine::text(QAccessible::Text t) const {
    if (t == QAccessible::Value || t == QAccessible::Description)
        return shown();
    return QAccessibleWidget::text(t);
}

QAccessible::State AccessibleStatusLine::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    return s;
}

void* AccessibleStatusLine::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

} // namespace controls
