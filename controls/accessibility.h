#pragma once

namespace controls {

// Gives the drive list, the folder list and the status line interfaces of their own for screen
// readers, where Qt's would mislead: its combo box takes the current entry for its name, its
// tree counts a hidden header as a row, and a label with a name of its own hides its text. The
// controls call it themselves; later calls do nothing.
void installAccessibility();

} // namespace controls
