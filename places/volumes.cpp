#include "places/volumes.h"

#include "places/native_name.h"

namespace places {

QString volumeText(const Volume& volume) {
    const QString name = readableName(volume.name);
    if (volume.label.isEmpty())
        return name;
    return name + QStringLiteral(" [") + volume.label + QLatin1Char(']');
}

} // namespace places
