#include "controls/push_button.h"

#include <QKeyEvent>

namespace controls {

PushButton::PushButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    // Qt's own way to Enter, auto-default, would also draw the button as the default one.
    setAutoDefault(false);
}

void PushButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier)
        return QPushButton::keyPressEvent(event);
    event->accept();
    // One press, one click: a key held down would reopen box after box.
    if (!event->isAutoRepeat())
        click();
}

} // namespace controls
