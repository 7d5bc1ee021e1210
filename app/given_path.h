#pragma once

#include <QString>

// The path on the program's command line, put there by a file manager's "Open With", by a script
// dropped on the program's icon, or typed: its first argument, as the lists hold names; an empty
// text when there is none. Call it after QApplication has taken its own options out of argv.
QString givenPath(int argc, char* argv[]);
