// Wine prefixes are a Linux matter: Windows programs on Windows see the real drive letters.

#include "places/wine_prefixes_linux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>
#include <yaml.h>

namespace places {

namespace {

// Lutris writes a few hundred bytes per game; a file far larger is none of its game files.
constexpr qint64 maxGameFileSize = 1 << 20;

constexpr std::array<std::string_view, 4> yamlNulls{"~", "null", "Null", "NULL"};

// libyaml's parser, deleted when it goes; ready says whether it could be made.
struct Parser : yaml_parser_t {
    Parser()
        : yaml_parser_t{}
        , ready(yaml_parser_initialize(this) != 0) {}
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    ~Parser() { yaml_parser_delete(this); }
    const bool ready;
};

// One event of the parser, deleted when it goes.
struct Event : yaml_event_t {
    Event()
        : yaml_event_t{} {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event() { yaml_event_delete(this); }
};

// Where the parser is in one mapping or sequence: whether a mapping waits for a key, and whether
// the key just read is "prefix".
struct Nesting {
    bool mapping = false;
    bool atKey = true;
    bool prefixKey = false;
};

std::string_view scalarText(const yaml_event_t& event) {
    return {reinterpret_cast<const char*>(event.data.scalar.value), event.data.scalar.length};
}

// A plain "~", "null" or nothing at all is YAML's null; quoted, it is text.
bool isNull(const yaml_event_t& event) {
    const std::string_view text = scalarText(event);
    return event.data.scalar.style == YAML_PLAIN_SCALAR_STYLE &&
           (text.empty() || std::find(yamlNulls.begin(), yamlNulls.end(), text) != yamlNulls.end());
}

// The text of every "prefix" key's value, however deep; none when the file is not YAML.
std::vector<QString> prefixValues(std::string_view gameFile) {
    Parser parser;
    if (!parser.ready)
        return {};
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(gameFile.data()),
                                 gameFile.size());
    std::vector<QString> values;
    std::vector<Nesting> nesting;
    for (;;) {
        Event event;
        if (!yaml_parser_parse(&parser, &event))
            return {};
        switch (event.type) {
        case YAML_STREAM_END_EVENT:
            return values;
        case YAML_MAPPING_START_EVENT:
        case YAML_SEQUENCE_START_EVENT:
        case YAML_SCALAR_EVENT:
        case YAML_ALIAS_EVENT:
            if (!nesting.empty() && nesting.back().mapping) {
                Nesting& in = nesting.back();
                if (in.atKey)
                    in.prefixKey = event.type == YAML_SCALAR_EVENT && scalarText(event) == "prefix";
                else if (in.prefixKey && event.type == YAML_SCALAR_EVENT && !isNull(event))
                    values.push_back(QString::fromUtf8(scalarText(event)));
                in.atKey = !in.atKey;
            }
            if (event.type == YAML_MAPPING_START_EVENT || event.type == YAML_SEQUENCE_START_EVENT)
                nesting.push_back({event.type == YAML_MAPPING_START_EVENT});
            break;
        case YAML_MAPPING_END_EVENT:
        case YAML_SEQUENCE_END_EVENT:
            if (!nesting.empty())
                nesting.pop_back();
            break;
        default:
            break;
        }
    }
}

// A Wine drive can carry a name of its own, as Wine reads it from the drive's root.
QString readLabelFile(const QString& root) {
    QFile file(root + QStringLiteral("/.windows-label"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
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
    QStringList prefixes;
    for (QString value : prefixValues(gameFile)) {
        // Lutris expands a leading ~ as a shell would.
        if (value == QStringLiteral("~") || value.startsWith(QStringLiteral("~/")))
            value = home + value.mid(1);
        if (QDir::isAbsolutePath(value))
            prefixes << QDir::cleanPath(value);
    }
    return prefixes;
}

std::vector<Volume> wineDrives(const QString& dosDevices, const QString& prefixName) {
    static const QRegularExpression letter(QStringLiteral("^[a-zA-Z]:$"));
    const QDir dir(dosDevices);
    const QString driveC = QFileInfo(dir.filePath(QStringLiteral("../drive_c"))).absoluteFilePath();
    std::vector<Volume> drives;
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (!letter.match(name).hasMatch())
            continue;
        const QFileInfo entry(dir.filePath(name));
        // A dangling letter stays listed: it is a drive whose medium is missing.
        const QString root = entry.isSymLink() ? entry.symLinkTarget() : entry.absoluteFilePath();
        Volume volume{QDir::cleanPath(root), name.toLower(), {}};
        const QString ownLabel = readLabelFile(volume.root);
        if (!prefixName.isEmpty())
            volume.label = QStringLiteral("Wine: ") + prefixName +
                           (ownLabel.isEmpty() ? QString() : QStringLiteral(", ") + ownLabel);
        else if (ownLabel.isEmpty() && QDir::cleanPath(driveC) == volume.root)
            volume.label = QStringLiteral("Wine");
        else
            volume.label = ownLabel;
        drives.push_back(volume);
    }
    return drives;
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
