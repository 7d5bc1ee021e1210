#include "places/folder_error.h"

#include "places/native_name.h"

#include <filesystem>

namespace places {

FolderError::FolderError(std::error_code error, const QString& folder)
    : std::system_error(error, QStringLiteral("The folder \"%1\" cannot be read")
                                   .arg(readablePath(folder))
                                   .toStdString()) {}

void requireListable(const QString& folder) {
    // Opening the folder as the lists will is the only honest test: existence and permission
    // bits alone miss a vanished medium or a file standing where a folder was.
    std::error_code error;
    std::filesystem::directory_iterator probe(toNative(folder), error);
    if (error)
        throw FolderError(error, folder);
}

} // namespace places
