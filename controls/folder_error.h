#pragma once

#include <QString>
#include <stdexcept>

namespace controls {

// A folder that cannot be listed: gone, not a folder, or not readable. For a drive's root this
// is the "no medium" case.
class FolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws FolderError, naming the folder and the system's reason, unless the folder can be listed.
void requireListable(const QString& folder);

} // namespace controls
