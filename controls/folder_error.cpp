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
        throw FolderError(QStringLiteral("The folder \"%1\" cannot be read: %2")
                              .arg(folder, QString::fromLocal8Bit(error.message()))
                              .toStdString());
    }
}

} // namespace controls
