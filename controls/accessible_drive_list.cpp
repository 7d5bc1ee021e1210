#include "controls/accessible_controls.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace controls {

AccessibleDriveList::AccessibleDriveList(QWidget* widget)
    : QAccessibleWidget(widget, QAccessible::ComboBox) {}

QComboBox* AccessibleDriveList::comboBox() const {
    return static_cast<QComboBox*>(widget());
}

QAccessibleInterface* AccessibleDriveList::child(int index) const {
    return index == 0 ? QAccessible::queryAccessibleInterface(comboBox()->view()) : nullptr;
}

int AccessibleDriveList::indexOfChild(const QAccessibleInterface* child) const {
    return child && child->object() == comboBox()->view() ? 0 : -1;
}

// Qt's own combo box takes the drive shown for its name on Linux, so a screen reader would
// announce "/" and never say what the list is for.
QString AccessibleDriveList::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return shown();
    return QAccessibleWidget::text(t);
}

QAccessible::State AccessibleDriveList::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = isValid() && comboBox()->view()->isVisible();
    return s;
}

void* AccessibleDriveList::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

QString AccessibleDriveList::shown() const {
    return comboBox()->currentText();
}

QStringList AccessibleDriveList::actionNames() const {
    return {showMenuAction(), pressAction()};
}

void AccessibleDriveList::doAction(const QString& actionName) {
    if (actionName != showMenuAction() && actionName != pressAction())
        return QAccessibleWidget::doAction(actionName);
    if (comboBox()->view()->isVisible())
        comboBox()->hidePopup();
    else
        comboBox()->showPopup();
}

} // namespace controls
