#pragma once

#include "volumes.h"

#include <QComboBox>
#include <vector>

namespace controls {

// The drive list. Its first drive is the fall-back drive (C:). Each drive remembers its own
// current folder, at first its root, as Windows does for drive letters.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(std::vector<Volume> volumes, QWidget* parent = nullptr);

    // The selected entry's text, as the list shows it.
    QString drive() const { return currentText(); }
    QString root() const;
    QString rootText() const;
    // The selected drive's current folder; its root again once the remembered folder is gone.
    QString folder() const;
    void rememberFolder(const QString& folder);

    // The index of the drive holding folder, or 0 when no drive does.
    int indexOfFolder(const QString& folder) const;

private:
    std::vector<Volume> volumes;
    std::vector<QString> folders;
};

} // namespace controls
