#include "places/native_name.h"

#include "engine/path_text.h"

#include <QDir>
#include <QStringList>
#include <type_traits>

namespace places {

namespace fs = std::filesystem;

QString readableName(const QString& name) {
    return QString::fromStdString(engine::displayName(toNative(name)));
}

QString readablePath(const QString& path) {
    return QString::fromStdString(engine::displayPath(toNative(path)));
}

QString notTextNote(const QString& name) {
    const fs::path path = toNative(name);
    if (engine::isWellFormed(path))
        return {};
    using Unit = std::make_unsigned_t<fs::path::value_type>;
    constexpr int digits = 2 * sizeof(Unit);
    QStringList units;
    for (const auto unit : path.native())
        units << QStringLiteral("%1").arg(uint{static_cast<Unit>(unit)}, digits, 16,
                                          QLatin1Char('0'));
    return (digits == 2 ? QStringLiteral("Not a UTF-8 name: each \\xHH is a byte that is not "
                                         "text.\nBytes: ")
                        : QStringLiteral("Not a UTF-16 name: each \\uHHHH is a unit that is not "
                                         "text.\nUnits: ")) +
           units.join(QLatin1Char(' ')).toUpper();
}

QString absolutePath(const QString& path) {
    std::error_code unknown;
    const fs::path working = fs::current_path(unknown);
    const QString given = QDir::fromNativeSeparators(path);
    QString absolute =
        QDir::cleanPath(unknown ? given : QDir(fromNative(working)).absoluteFilePath(given));
    if (absolute.size() >= 2 && absolute[1] == QLatin1Char(':') && absolute[0].isLetter())
        absolute[0] = absolute[0].toUpper();
    return absolute;
}

} // namespace places
