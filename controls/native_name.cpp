#include "controls/native_name.h"

#include "engine/path_text.h"

#include <QStringList>
#include <type_traits>

namespace controls {

namespace fs = std::filesystem;

#ifdef Q_OS_WIN
// Windows: names are UTF-16, as a QString is; nothing is lost either way.
fs::path toNative(const QString& name) {
    return fs::path(name.toStdWString());
}

QString fromNative(const fs::path& path) {
    return QString::fromStdWString(path.native());
}
#else
// Linux and other systems whose names are bytes.
namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isEscapedByte(const QString& name, qsizetype at) {
    const char16_t unit = name[at].unicode();
    // A low surrogate after a high one is half of a real character, not an escaped byte.
    return unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF &&
           !(at > 0 && name[at - 1].isHighSurrogate());
}

} // namespace

fs::path toNative(const QString& name) {
    std::string bytes;
    qsizetype runStart = 0;
    const auto addRun = [&](qsizetype end) {
        const QByteArray run = QStringView(name).mid(runStart, end - runStart).toUtf8();
        bytes.append(run.constData(), static_cast<std::size_t>(run.size()));
    };
    for (qsizetype at = 0; at < name.size(); ++at) {
        if (!isEscapedByte(name, at))
            continue;
        addRun(at);
        bytes += static_cast<char>(name[at].unicode() - escapeBase);
        runStart = at + 1;
    }
    addRun(name.size());
    return fs::path(std::move(bytes));
}

QString fromNative(const fs::path& path) {
    QString name;
    engine::splitUtf8(
        path.native(),
        [&](std::string_view run) {
            name += QString::fromUtf8(run.data(), static_cast<qsizetype>(run.size()));
        },
        [&](unsigned char byte) { name += QChar(static_cast<char16_t>(escapeBase + byte)); });
    return name;
}
#endif

QString readableName(const QString& name) {
    return QString::fromStdString(engine::displayPath(toNative(name)));
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

QFont notTextFont() {
    // Only the italic is set, so the view fills in its own family and size.
    QFont font;
    font.setItalic(true);
    return font;
}

} // namespace controls
