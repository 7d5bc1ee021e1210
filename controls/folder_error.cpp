#include "folder_error.h"

#include <filesystem>
#include <system_error>

namespace controls {

void requireListable(const QString& folder) {
    // Opening the folder as the lists will is the only honest test: existence and permission
    // bits alone miss a vanished medium or a file standing where a folder was.
    std::error_code error;
    std::filesystem::directory_iterator probe(std::filesystem::path(folder.toStdU16String()),
                                              error);
    if (error) {
        // what() ends in the system's reason, e.g. ": No such file or directory".
        throw FolderError(
            error, QStringLiteral("The folder \"%1\" cannot be read").arg(folder).toStdString());
    }
}

} // namespace controls
