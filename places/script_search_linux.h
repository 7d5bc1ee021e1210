#pragma once

#include <QString>
#include <QStringList>

namespace places {

// scriptFolders() for a given home and $WINEPREFIX: the chat client's folders in each prefix that
// winePrefixes() finds there, prefix after prefix, then home's mIRC folder.
QStringList scriptFolders(const QString& home, const QString& winePrefixEnv);

} // namespace places
