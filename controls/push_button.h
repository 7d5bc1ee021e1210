#pragma once

#include <QPushButton>

namespace controls {

// A push button that answers Enter as well as Space while it has the focus, as the buttons of
// Windows do. It never becomes a default button: with the focus elsewhere, Enter goes to the
// control that has it, and the button looks no different.
class PushButton : public QPushButton {
    Q_OBJECT

public:
    explicit PushButton(const QString& text, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace controls
