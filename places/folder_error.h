#pragma once

#include <QString>
#include <system_error>

namespace places {

// A folder that cannot be listed: gone, not a folder, or not readable. For a drive's root this
// is the "no medium" case. It carries the system's error code, which the failure report shows.
class FolderError : public std::system_error {
public:
    using std::system_error::system_error;
    // what() reads "The folder "<folder>" cannot be read: <the system's reason>", the folder in
    // its readable form.
    FolderError(std::error_code error, const QString& folder);
};

// Throws FolderError, naming the folder and the system's reason, unless the folder can be listed.
void requireListable(const QString& folder);

} // namespace places
