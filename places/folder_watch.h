#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

namespace places {

class FolderWatchEngine;

// Tells when the entries of one folder change on disk: an entry made, removed or renamed, or the
// folder itself removed or renamed. It follows one folder at a time; following another lets the
// first go. A burst of changes (a copy of many files) is told once, a moment after it began, so
// a list that reads the folder again on each notice shows a change within a second.
class FolderWatch : public QObject {
    Q_OBJECT

public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // Starts following folder (a name as native_name.h holds it), and stops following the one
    // before; following the same folder again loses nothing noticed meanwhile. A folder the
    // system cannot watch (some network file systems) goes untold.
    void follow(const QString& folder);

signals:
    void changed();

private:
    void noticed();

    std::unique_ptr<FolderWatchEngine> engine;
    QString followed;
    QTimer settling;
};

} // namespace places
