#pragma once

#include "places/volumes.h"

#include <QComboBox>
#include <QHash>
#include <vector>

namespace controls {

// The drive list. Its first drive is the fall-back drive (C:). Each drive remembers its own
// current folder, at first its root, as Windows does for drive letters. The drives are read
// again each time the list is opened, so that a medium mounted later appears.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(places::VolumeSource source, QWidget* parent = nullptr);

    // The selected entry's text, as the list shows it.
    QString drive() const { return currentText(); }
    QString root() const;
    QString rootText() const;
    // The selected drive's current folder; its root again once the remembered folder is gone.
    QString folder() const;
    void rememberFolder(const QString& folder);

    // The index of the drive holding folder (the one with the longest root), or -1 when no drive
    // does.
    int indexOfFolder(const QString& folder) const;

    // Reads the drives again, keeping the selection (by root and name) and every remembered
    // folder. That is no drive change, unless the selected drive has gone: then the first drive
    // is selected.
    void rereadDrives();

    void showPopup() override;

private:
    void fill();

    places::VolumeSource source;
    std::vector<places::Volume> volumes;
    // Remembered folders by drive root; a medium that comes back finds its folder again.
    QHash<QString, QString> folders;
};

} // namespace controls
