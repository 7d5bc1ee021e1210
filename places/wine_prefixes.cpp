#include "places/wine_prefixes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <utility>

namespace places {

namespace {

// Lutris writes a few hundred bytes per game; a file far larger is none of its game files.
constexpr qint64 maxGameFileSize = 1 << 20;

// YAML's one-letter escapes in double-quoted text, with the characters they stand for.
constexpr std::array<std::pair<char, char32_t>, 18> yamlEscapes{{
    {'0', 0x00},
    {'a', 0x07},
    {'b', 0x08},
    {'t', 0x09},
    {'\t', 0x09},
    {'n', 0x0A},
    {'v', 0x0B},
    {'f', 0x0C},
    {'r', 0x0D},
    {'e', 0x1B},
    {' ', 0x20},
    {'"', 0x22},
    {'/', 0x2F},
    {'\\', 0x5C},
    {'N', 0x85},
    {'_', 0xA0},
    {'L', 0x2028},
    {'P', 0x2029},
}};

// YAML's escapes by character number, with the count of hex digits each takes. Python's YAML
// writer, which Lutris uses, escapes every non-ASCII character of a path this way.
constexpr std::array<std::pair<char, std::size_t>, 3> yamlHexEscapes{
    {{'x', 2}, {'u', 4}, {'U', 8}}};

constexpr std::array<std::string_view, 4> yamlNulls{"~", "null", "Null", "NULL"};

// Characters that make a plain value something other than a plain text: a comment, a block
// text on the following lines, an anchor, an alias, a tag, a flow collection.
constexpr std::string_view yamlIndicators = "#|>&*!{[";

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The text after an opening single quote, up to the closing one; a doubled quote is one quote.
std::optional<QString> singleQuoted(std::string_view text) {
    std::string value;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\'') {
            value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\'') {
            value += '\'';
            ++i;
        } else {
            return QString::fromUtf8(value);
        }
    }
    return std::nullopt; // runs on over more lines, which a one-line scan does not follow
}

// The text after an opening double quote, up to the closing one, with its escapes undone.
std::optional<QString> doubleQuoted(std::string_view text) {
    QString value;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t stop = text.find_first_of("\"\\", i);
        if (stop == std::string_view::npos)
            return std::nullopt;
        value += QString::fromUtf8(text.substr(i, stop - i));
        if (text[stop] == '"')
            return value;
        if (stop + 1 == text.size())
            return std::nullopt; // a line break escaped: the text goes on over more lines
        const char letter = text[stop + 1];
        i = stop + 2;
        std::uint32_t code = 0;
        const auto simple =
            std::find_if(yamlEscapes.begin(), yamlEscapes.end(),
                         [&](const auto& escape) { return escape.first == letter; });
        const auto hex = std::find_if(yamlHexEscapes.begin(), yamlHexEscapes.end(),
                                      [&](const auto& escape) { return escape.first == letter; });
        if (simple != yamlEscapes.end()) {
            code = simple->second;
        } else if (hex != yamlHexEscapes.end() && i + hex->second <= text.size()) {
            const char* const last = text.data() + i + hex->second;
            const auto [end, error] = std::from_chars(text.data() + i, last, code, 16);
            if (error != std::errc() || end != last)
                return std::nullopt;
            i += hex->second;
        } else {
            return std::nullopt;
        }
        const char32_t character = code;
        value += QString::fromUcs4(&character, 1);
    }
    return std::nullopt;
}

// An unquoted value, without a trailing comment; none where YAML reads it as null.
std::optional<QString> plainValue(std::string_view text) {
    for (std::size_t hash = text.find('#'); hash != std::string_view::npos;
         hash = text.find('#', hash + 1)) {
        if (hash > 0 && (text[hash - 1] == ' ' || text[hash - 1] == '\t')) {
            text = trimmed(text.substr(0, hash));
            break;
        }
    }
    if (text.empty() || yamlIndicators.find(text.front()) != std::string_view::npos ||
        std::find(yamlNulls.begin(), yamlNulls.end(), text) != yamlNulls.end())
        return std::nullopt;
    return QString::fromUtf8(text);
}

// Lutris names its game files after the game's slug and the time they were made:
// "mirc-1612345678.yml" is the game "mirc".
QString gameSlug(const QString& fileName) {
    static const QRegularExpression stamp(QStringLiteral("-[0-9]+$"));
    const QString name = fileName.chopped(4);
    const QString slug = QString(name).remove(stamp);
    return slug.isEmpty() ? name : slug;
}

QStringList subfolders(const QString& place) {
    return QDir(place).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

// Collects prefixes in the order they are offered, each folder once, each name once.
class PrefixFinder {
public:
    void add(const QString& path, const QString& name, const QString& tool) {
        if (path.isEmpty() || !QFileInfo(path + QStringLiteral("/dosdevices")).isDir())
            return;
        // Links and $WINEPREFIX often lead to a prefix that is also found in its own place.
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical))
            return;
        seen.insert(canonical);
        found.push_back({QDir::cleanPath(path), uniqueName(name, tool)});
    }

    // Every folder of a place that is a prefix, named by its folder.
    void addEach(const QString& place, const QString& tool) {
        for (const QString& folder : subfolders(place))
            add(place + QLatin1Char('/') + folder, folder, tool);
    }

    bool empty() const { return found.empty(); }
    std::vector<WinePrefix> prefixes() && { return std::move(found); }

private:
    // Two tools may each have a prefix called "mIRC"; the drive texts must still tell them apart.
    QString uniqueName(const QString& name, const QString& tool) {
        if (name.isEmpty())
            return name;
        QString unique = name;
        for (int n = 1; names.contains(unique); ++n)
            unique = name + QStringLiteral(" (") + tool +
                     (n == 1 ? QString() : QStringLiteral(" ") + QString::number(n)) +
                     QStringLiteral(")");
        names.insert(unique);
        return unique;
    }

    std::vector<WinePrefix> found;
    QSet<QString> seen;
    QSet<QString> names;
};

void addLutrisGames(PrefixFinder& finder, const QString& home) {
    for (const QString& place : {home + QStringLiteral("/.config/lutris/games"),
                                 home + QStringLiteral("/.local/share/lutris/games")}) {
        const QDir games(place);
        for (const QString& fileName :
             games.entryList({QStringLiteral("*.yml")}, QDir::Files, QDir::Name)) {
            QFile file(games.filePath(fileName));
            if (!file.open(QIODevice::ReadOnly) || file.size() > maxGameFileSize)
                continue;
            const QByteArray text = file.readAll();
            for (const QString& prefix :
                 lutrisPrefixes(std::string_view(text.constData(), text.size()), home))
                finder.add(prefix, gameSlug(fileName), QStringLiteral("Lutris"));
        }
    }
    finder.addEach(home + QStringLiteral("/Games"), QStringLiteral("Lutris"));
}

void addProtonPrefixes(PrefixFinder& finder, const QString& home) {
    // ~/.steam/steam is usually a link to the other; the finder keeps each prefix once.
    for (const QString& steam :
         {home + QStringLiteral("/.local/share/Steam"), home + QStringLiteral("/.steam/steam")}) {
        const QString compatData = steam + QStringLiteral("/steamapps/compatdata");
        QStringList apps = subfolders(compatData);
        std::stable_sort(apps.begin(), apps.end(), [](const QString& a, const QString& b) {
            bool aIsId = false;
            bool bIsId = false;
            const qulonglong aId = a.toULongLong(&aIsId);
            const qulonglong bId = b.toULongLong(&bIsId);
            return aIsId && bIsId ? aId < bId : aIsId > bIsId;
        });
        for (const QString& app : apps)
            finder.add(compatData + QLatin1Char('/') + app + QStringLiteral("/pfx"),
                       QStringLiteral("Steam ") + app, QStringLiteral("Steam"));
    }
}

} // namespace

QStringList lutrisPrefixes(std::string_view gameFile, const QString& home) {
    constexpr std::string_view key = "prefix:";
    QStringList prefixes;
    while (!gameFile.empty()) {
        const std::size_t end = std::min(gameFile.find('\n'), gameFile.size());
        const std::string_view line = trimmed(gameFile.substr(0, end));
        gameFile.remove_prefix(std::min(end + 1, gameFile.size()));
        // "wineprefix:" is another key, and "prefix:x" no key at all but a plain text.
        if (!line.starts_with(key) ||
            (line.size() > key.size() && line[key.size()] != ' ' && line[key.size()] != '\t'))
            continue;
        const std::string_view text = trimmed(line.substr(key.size()));
        std::optional<QString> value;
        if (text.starts_with('\''))
            value = singleQuoted(text.substr(1));
        else if (text.starts_with('"'))
            value = doubleQuoted(text.substr(1));
        else
            value = plainValue(text);
        if (!value)
            continue;
        // Lutris expands a leading ~ as a shell would.
        if (*value == QStringLiteral("~") || value->startsWith(QStringLiteral("~/")))
            value = home + value->mid(1);
        if (QDir::isAbsolutePath(*value))
            prefixes << QDir::cleanPath(*value);
    }
    return prefixes;
}

std::vector<WinePrefix> winePrefixes(const QString& home, const QString& winePrefixEnv) {
    PrefixFinder finder;
    const QString dotWine = home + QStringLiteral("/.wine");
    finder.add(winePrefixEnv, {}, QStringLiteral("Wine"));
    // Only the prefix wine itself would use goes by the plain label; ~/.wine needs its own name
    // when $WINEPREFIX has taken that label.
    finder.add(dotWine, finder.empty() ? QString() : QStringLiteral("~/.wine"),
               QStringLiteral("Wine"));
    finder.addEach(home + QStringLiteral("/.local/share/bottles/bottles"),
                   QStringLiteral("Bottles"));
    finder.addEach(home + QStringLiteral("/.var/app/com.usebottles.bottles/data/bottles/bottles"),
                   QStringLiteral("Bottles"));
    addLutrisGames(finder, home);
    finder.addEach(home + QStringLiteral("/.PlayOnLinux/wineprefix"),
                   QStringLiteral("PlayOnLinux"));
    finder.addEach(home + QStringLiteral("/.cxoffice"), QStringLiteral("CrossOver"));
    addProtonPrefixes(finder, home);
    return std::move(finder).prefixes();
}

std::vector<Volume> wineVolumes(const QString& home, const QString& winePrefixEnv) {
    std::vector<Volume> volumes;
    for (const WinePrefix& prefix : winePrefixes(home, winePrefixEnv)) {
        for (Volume& drive : wineDrives(prefix.path + QStringLiteral("/dosdevices"), prefix.name))
            volumes.push_back(std::move(drive));
    }
    return volumes;
}

} // namespace places
