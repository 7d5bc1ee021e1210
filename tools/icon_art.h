#pragma once

#include <QImage>

namespace tools {

// The program's icon: a teal speech bubble carrying a white M, with an amber badge holding a plus
// for the category the patch adds.

// Drawn pixel by pixel for 16 x 16, where a scaled drawing would blur; every pixel is fully opaque
// or fully clear, as a 256-colour icon needs.
QImage drawIcon16();

// The same design drawn as shapes at any larger size, antialiased with an alpha channel.
QImage drawIcon(int size);

} // namespace tools
