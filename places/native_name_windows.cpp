// Windows: names are UTF-16, as a QString is; nothing is lost either way.

#include "places/native_name.h"

#include <QUrl>

namespace places {

namespace fs = std::filesystem;

fs::path toNative(const QString& name) {
    return fs::path(name.toStdWString());
}

QString fromNative(const fs::path& path) {
    return QString::fromStdWString(path.native());
}

QString localFile(const QUrl& url) {
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace places
