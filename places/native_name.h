#pragma once

#include <QString>
#include <filesystem>

class QUrl;

// File names as the lists hold them. A Linux name is bytes, mostly but not always UTF-8 (an old
// archive or a Windows disk may hold Latin-1). Qt decodes names as UTF-8 and puts U+FFFD in place
// of what is not, after which the name can never be opened again. The lists therefore keep every
// name and path as a QString that maps back to its bytes exactly: well-formed UTF-8 decodes as
// usual, and each byte that is not UTF-8 becomes U+DC00 plus the byte (U+DC80 to U+DCFF, the
// "surrogateescape" mapping), a lone surrogate that no UTF-8 text decodes to. On Windows names
// are UTF-16 and a QString holds them as they are. Every file system call goes through toNative,
// and what the user sees is readableName, the same form as in the engine's messages.
namespace places {

std::filesystem::path toNative(const QString& name);
QString fromNative(const std::filesystem::path& path);

// The name as the lists and messages show it: text, with \xHH for each byte that is not UTF-8.
QString readableName(const QString& name);

// The path as messages and tool tips show it: written as readableName writes a name, with the
// system's own folder separator.
QString readablePath(const QString& path);

// For a name that is not valid text, a note for its tool tip that says so and gives its bytes;
// empty for any other name. A name with an escape and a name that merely contains the text
// "\xHH" read the same: this, and the lists' own look for such a name, tell them apart.
QString notTextNote(const QString& name);

// A path given from outside the lists (the command line, a drop) in the form the lists hold
// paths: absolute from the working folder, cleaned, with '/' between names and a drive letter in
// capitals, as the drive list has it.
QString absolutePath(const QString& path);

// The file a local file URL names, as the lists hold names; an empty text for any other URL.
// File managers write a name's bytes that are not UTF-8 as %HH, which stay bytes here.
QString localFile(const QUrl& url);

} // namespace places
