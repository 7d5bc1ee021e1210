#pragma once

#include "places/volumes.h"

#include <QString>
#include <QStringList>
#include <string_view>
#include <vector>

namespace places {

// A folder whose dosdevices folder holds the drive letters that Windows programs see.
struct WinePrefix {
    QString path; // as it was found, which may pass through links
    QString name; // its drives are labelled "Wine: NAME"; empty for the one wine uses by default
};

// The user's Wine prefixes, each once however many links or settings lead to it:
// - the one the wine command uses ($WINEPREFIX, or ~/.wine where that is empty or holds no
//   prefix), unnamed, so that its drives keep the plain labels;
// - ~/.wine when $WINEPREFIX leads to another prefix, named "~/.wine";
// - Bottles' bottles, native and Flatpak, named by their folders;
// - Lutris games' prefixes, named by the game file's slug, then the folders of ~/Games;
// - PlayOnLinux's and CrossOver's prefixes, named by their folders;
// - Steam's Proton prefixes, named "Steam APPID", in app-ID order.
// Only the folders these programs keep their prefixes in are read, never the whole home folder.
// A name already given gets the tool's name in brackets, and a number where that is taken too.
std::vector<WinePrefix> winePrefixes(const QString& home, const QString& winePrefixEnv);

// The folders a Lutris game file names as a prefix: the text of every key "prefix", at any depth,
// read as YAML as Lutris reads it, with a leading ~ read as home. Null, relative and non-text
// values are left out, and a file that is not YAML names none.
QStringList lutrisPrefixes(std::string_view gameFile, const QString& home);

// The drive letters of a Wine prefix's dosdevices folder, "a:" to "z:", each rooted where its
// link points. The label is the drive's .windows-label, or "Wine" for the prefix's own drive_c.
// A named prefix labels every letter "Wine: NAME", followed by ", " and the drive's own label
// where it has one, so that the letters of different prefixes stay apart.
std::vector<Volume> wineDrives(const QString& dosDevices, const QString& prefixName = {});

// The drive letters of every prefix of winePrefixes(), prefix after prefix.
std::vector<Volume> wineVolumes(const QString& home, const QString& winePrefixEnv);

} // namespace places
