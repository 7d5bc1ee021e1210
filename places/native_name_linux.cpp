// Linux: names are bytes. Each byte that is not part of UTF-8 travels in a QString as U+DC00
// plus the byte, so that the name maps back to its bytes exactly (native_name.h).

#include "places/native_name.h"

#include "engine/path_text.h"

#include <QUrl>

namespace places {

namespace fs = std::filesystem;

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

QString localFile(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return fromNative(fs::path(bytes.toStdString()));
}

} // namespace places
