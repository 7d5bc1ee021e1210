#include "controls/accessibility.h"

#include "controls/accessible_controls.h"

#include <QWidget>

namespace controls {
namespace {

QAccessibleInterface* accessibleControl(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("controls::DriveList"))
        return new AccessibleDriveList(widget);
    if (className == QLatin1String("controls::DirList"))
        return new AccessibleDirList(widget);
    if (className == QLatin1String("controls::StatusLine"))
        return new AccessibleStatusLine(widget);
    return nullptr;
}

} // namespace

void installAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleControl);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace controls
