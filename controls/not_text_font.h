#pragma once

#include <QFont>

namespace controls {

// The look of a name that is not valid text (places::notTextNote says why): italic, the rest
// taken from the list's own font.
QFont notTextFont();

} // namespace controls
