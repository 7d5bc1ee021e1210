#pragma once

#include <QMessageBox>
#include <QString>

namespace controls {

// The caption of both main windows' message boxes and of the main window itself.
inline constexpr char programTitle[] = "Morvane 4.8 Patch";

// Shows a message box captioned with the program title, modal to the whole program, and returns
// the button the user chose. The text is always shown as typed, never as rich text, so a file
// named "<b>x</b>.mrc" reads exactly so.
QMessageBox::StandardButton
messageBox(QWidget* parent, const QString& text, QMessageBox::Icon icon,
           QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

} // namespace controls
