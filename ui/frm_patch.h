#pragma once

#include "controls/twips.h"
#include "engine/patch_run.h"
#include "places/volumes.h"

#include <QPointer>
#include <QWidget>

class QDragEnterEvent;
class QDropEvent;
class QIcon;
class QPixmap;
class QLabel;
class QPushButton;
class frmInfo;

namespace controls {
class DirList;
class DriveList;
class FileList;
class StatusLine;
} // namespace controls

// The main window: the browser (drive, folder and file lists), the status line, the Patch and
// Patch Info buttons, over the banner. It carries out patch runs and answers their questions.
class frmPatch : public QWidget, private engine::PatchUi {
    Q_OBJECT

public:
    // Loading the window points the browser at the first drive (C:). Throws when even that drive
    // cannot be read; the caller reports it.
    explicit frmPatch(const places::VolumeSource& volumes = places::systemVolumes,
                      QWidget* parent = nullptr);
    ~frmPatch() override;

    // Shows the script found by places::newestScript(), selected in its folder on its drive,
    // without a word. An empty path, or one the browser cannot show, leaves the browser as it was.
    void selectFound(const QString& found);
    // Opens a path the window was given from outside (the command line, a drop): a script is
    // selected in its folder, a folder becomes the current folder. Anything else opens the nearest
    // folder that exists, and a message says why. Nothing is patched before the user asks.
    void openGiven(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void Drive1_Change();
    void Dir1_Activated(const QString& folder);
    void Dir1_FolderGone();
    void File1_Refreshed();
    void File1_MenuRequested(const QPoint& globalPosition);
    void mnuRestore_Click();
    void cmdInfo_Click();
    void cmdPatch_Click();

private:
    static QIcon programIcon();
    QPixmap banner() const;
    void createBanner();
    void createLabels();
    void createBrowser(const places::VolumeSource& volumes);
    void createButtons();
    QLabel* createLabel(const QString& name, const QString& text, const controls::TwipsRect& rect);
    static void setUpLabel(QLabel* label, const QString& name, const controls::TwipsRect& rect);
    QPushButton* createButton(const QString& name, const QString& caption,
                              const controls::TwipsRect& rect);
    void startUp();
    void changeDrive();
    void setDirFolder(const QString& folder);
    void showFolder(const QString& folder);
    QString showNearest(const QString& folder, const QString& why);
    QString openPath(const QString& path);
    void Dir1_Change();
    void File1_PathChange();
    void patchSelected();
    void restoreSelected();
    void runFailed(std::string_view heading, std::string_view status,
                   const engine::PatchError& failure);

    void showStatus(std::string_view text) override;
    bool askYesNo(std::string_view prompt, bool questionIcon, engine::DefaultAnswer enter) override;
    void showInfo(std::string_view text) override;
    void setBrowserEnabled(bool enabled) override;

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    controls::DriveList* Drive1;
    QLabel* Label3;
    controls::DirList* Dir1;
    controls::FileList* File1;
    QPushButton* cmdInfo;
    QLabel* Label4;
    QPushButton* cmdPatch;
    controls::StatusLine* lblPatch;
    QLabel* Label5;
    QPointer<frmInfo> info;
};
