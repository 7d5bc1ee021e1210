#pragma once

#include <QFontMetrics>
#include <QMessageBox>
#include <QString>

namespace controls {

// text with an invisible break opportunity inside each run of characters too wide for a
// message box's line, so that a long file name wraps instead of being cut off.
QString breakableText(const QString& text, const QFontMetrics& metrics);

// Shows a message box captioned title, modal to the whole program, and returns the button the
// user chose. The text is always shown as typed, never as rich text, so a file
// named "<b>x</b>.mrc" reads exactly so, and a name too long for one line wraps inside the box.
QMessageBox::StandardButton
messageBox(QWidget* parent, const QString& title, const QString& text, QMessageBox::Icon icon,
           QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

} // namespace controls
