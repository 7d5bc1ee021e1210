#include "ui/frm_patch.h"

#include "assets/resources.h"
#include "controls/bold_label.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/message_box.h"
#include "controls/push_button.h"
#include "controls/status_line.h"
#include "engine/restore_run.h"
#include "places/folder_error.h"
#include "places/native_name.h"
#include "places/script_search.h"
#include "ui/failure_report.h"
#include "ui/frm_info.h"
#include "ui/log_folder.h"
#include "ui/program_title.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <filesystem>

namespace {

// Where each control sits, in twips, from the top-left corner of the client area.
constexpr controls::TwipsRect clientArea{0, 0, 8715, 5145};
constexpr controls::TwipsRect label1Rect{4200, 1680, 4455, 2415};
constexpr controls::TwipsRect label2Rect{120, 4920, 8535, 255};
constexpr controls::TwipsRect drive1Rect{120, 1800, 3855, 315};
constexpr controls::TwipsRect label3Rect{120, 1560, 3855, 255};
constexpr controls::TwipsRect dir1Rect{120, 2160, 1935, 2115};
constexpr controls::TwipsRect file1Rect{2040, 2160, 1935, 1785};
constexpr controls::TwipsRect cmdInfoRect{120, 4440, 1215, 375};
constexpr controls::TwipsRect label4Rect{2160, 3960, 1815, 495};
constexpr controls::TwipsRect cmdPatchRect{1440, 4440, 1215, 375};
constexpr controls::TwipsRect lblPatchRect{4200, 4080, 4335, 255};
constexpr controls::TwipsRect label5Rect{4200, 4320, 4455, 615};
constexpr controls::TwipsRect image1Rect{0, 0, 8715, 4230};

constexpr char label1Text[] =
    "The Morvane 4.8 PT Category Patch should correctly patch your copy of Morvane 4.8 to "
    "utilize the \"Chat Partners\" (PT) category. You should be able to create rooms in this "
    "category and also browse for rooms in this category. Note that you should back up "
    "Morvane 4.8 before running this patch, just in case something does go wrong (though "
    "it does back up Morvane 4.8 before patching it). Any changes you've made to Morvane "
    "shouldn't be lost during the patching proccess. If you've changed one of the sections "
    "we're changing, the patch probably won't work (and it will tell you so). To see if "
    "you changed something we changed, see the \"Patch Info\"";
constexpr char label2Text[] =
    "Patcher written by Pemberlith - banner and icon by the Pemberlith Patch Crew";
constexpr char label5Text[] =
    "NOTE: This program may hang for a few seconds while loading the files. DO NOT END THE "
    "TASK! You risk losing both the original and the backup file!";

// The first local file of a drag, as the lists hold names; empty when it brings none.
QString droppedFile(const QMimeData* data) {
    const QList<QUrl> urls = data->urls();
    return urls.isEmpty() ? QString() : places::localFile(urls.first());
}

QString parentOf(const QString& path) {
    return QDir::cleanPath(path + QStringLiteral("/.."));
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the program was started; a folder that cannot be named leaves the first drive shown.
QString startFolder() {
    std::error_code unknown;
    const std::filesystem::path folder = std::filesystem::current_path(unknown);
    return unknown ? QString() : places::fromNative(folder);
}

} // namespace

frmPatch::frmPatch(const places::VolumeSource& volumes, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmPatch"));
    setWindowTitle(QString::fromUtf8(programTitle));
    setWindowIcon(programIcon());
    setFont(assets::tahoma());
    setFixedSize(controls::toPixels(clientArea).size());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    setPalette(white);
    setAutoFillBackground(true);

    // Controls stack in the order they are made: the banner beneath everything, the labels on
    // it, the lists and buttons on top.
    createBanner();
    createLabels();
    createBrowser(volumes);
    createButtons();

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, cmdInfo);
    setTabOrder(cmdInfo, cmdPatch);
    Drive1->setFocus();

    startUp();

    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmPatch::Drive1_Change);
    connect(Dir1, &controls::DirList::folderActivated, this, &frmPatch::Dir1_Activated);
    connect(Dir1, &controls::DirList::folderGone, this, &frmPatch::Dir1_FolderGone);
    connect(File1, &controls::FileList::refreshed, this, &frmPatch::File1_Refreshed);
    connect(File1, &controls::FileList::menuRequested, this, &frmPatch::File1_MenuRequested);
    connect(cmdInfo, &QPushButton::clicked, this, &frmPatch::cmdInfo_Click);
    connect(cmdPatch, &QPushButton::clicked, this, &frmPatch::cmdPatch_Click);

    // A script dragged from a file manager lands anywhere on the window.
    setAcceptDrops(true);
}

frmPatch::~frmPatch() {
    // The information window has no owner; if it is still open when the program is torn down
    // (after a failure report), it goes with the main window.
    delete info.data();
}

// Every size as a PNG, decoded now: the icon file's own decoder and an icon that decodes its
// files when the window is first shown each cost start-up more time and memory.
QIcon frmPatch::programIcon() {
    QIcon icon;
    for (const char* size : {"16", "22", "24", "32", "48", "64", "128", "256"})
        icon.addPixmap(
            QPixmap(QStringLiteral(":/assets/icon-%1.png").arg(QLatin1String(size)), "PNG"));
    return icon;
}

// A screen scaled above 100 % gets the banner drawn at twice the size, brought to the screen's own
// pixels once here: enlarging the window's pixels would blur it, and leaving the drawing to shrink
// the large one would make its edges ragged.
QPixmap frmPatch::banner() const {
    const qreal ratio = devicePixelRatioF();
    if (ratio <= 1.0)
        return QPixmap(QStringLiteral(":/assets/banner.bmp"));
    QPixmap sharp(QStringLiteral(":/assets/banner@2x.png"));
    constexpr qreal drawnRatio = 2.0;
    if (ratio != drawnRatio && !sharp.isNull()) {
        sharp = sharp.scaled((QSizeF(sharp.size()) * (ratio / drawnRatio)).toSize(),
                             Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    sharp.setDevicePixelRatio(ratio);
    return sharp;
}

void frmPatch::createBanner() {
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(banner());
    Image1->setGeometry(controls::toPixels(image1Rect));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void frmPatch::createLabels() {
    Label1 = createLabel(QStringLiteral("Label1"), QString::fromUtf8(label1Text), label1Rect);
    Label2 = createLabel(QStringLiteral("Label2"), QString::fromUtf8(label2Text), label2Rect);
    Label3 =
        createLabel(QStringLiteral("Label3"), QStringLiteral("Locate morvane.mrc:"), label3Rect);
    Label4 = createLabel(QStringLiteral("Label4"), QStringLiteral("Showing: mIRC Scripts (*.mrc)"),
                         label4Rect);
    lblPatch = new controls::StatusLine(this);
    setUpLabel(lblPatch, QStringLiteral("lblPatch"), lblPatchRect);
    lblPatch->setAccessibleName(QStringLiteral("Status"));
    QPalette red = lblPatch->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    lblPatch->setPalette(red);
    Label5 = new controls::BoldLabel(QString::fromUtf8(label5Text), this);
    setUpLabel(Label5, QStringLiteral("Label5"), label5Rect);
    Label5->setFont(assets::tahoma(QFont::Bold));
}

void frmPatch::createBrowser(const places::VolumeSource& volumes) {
    Drive1 = new controls::DriveList(volumes, this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(controls::toPixels(drive1Rect));
    Drive1->setAccessibleName(QStringLiteral("Drive"));
    Drive1->setCurrentIndex(std::max(0, Drive1->indexOfFolder(startFolder())));

    Dir1 = new controls::DirList(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(controls::toPixels(dir1Rect));
    Dir1->setAccessibleName(QStringLiteral("Folders"));

    File1 = new controls::FileList(this);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(controls::toPixels(file1Rect));
    File1->setAccessibleName(QStringLiteral("Scripts"));
}

void frmPatch::createButtons() {
    cmdInfo =
        createButton(QStringLiteral("cmdInfo"), QStringLiteral("&Patch Info..."), cmdInfoRect);
    cmdPatch = createButton(QStringLiteral("cmdPatch"), QStringLiteral("&Patch"), cmdPatchRect);
}

// The browser moves to C:'s root, then C: is selected; when the list showed another drive until
// now, that is a drive change.
void frmPatch::startUp() {
    const int driveC = 0;
    if (Drive1->count() == 0)
        return;
    const int shown = Drive1->currentIndex();
    {
        const QSignalBlocker quiet(Drive1);
        Drive1->setCurrentIndex(driveC);
    }
    Dir1->setDrive(Drive1->root(), Drive1->rootText(), Drive1->root());
    Dir1_Change();
    File1->setFolder(Dir1->path());
    File1_PathChange();
    if (shown != driveC)
        changeDrive();
}

QLabel* frmPatch::createLabel(const QString& name, const QString& text,
                              const controls::TwipsRect& rect) {
    auto* label = new QLabel(text, this);
    setUpLabel(label, name, rect);
    return label;
}

void frmPatch::setUpLabel(QLabel* label, const QString& name, const controls::TwipsRect& rect) {
    label->setObjectName(name);
    label->setGeometry(controls::toPixels(rect));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
}

QPushButton* frmPatch::createButton(const QString& name, const QString& caption,
                                    const controls::TwipsRect& rect) {
    auto* button = new controls::PushButton(caption, this);
    button->setObjectName(name);
    button->setGeometry(controls::toPixels(rect));
    return button;
}

void frmPatch::Drive1_Change() {
    reportingFailures([this] { changeDrive(); });
}

// The drive-change handling. A drive that cannot be read is reported and replaced by C:; should
// C: fail too, that failure is left to the caller.
void frmPatch::changeDrive() {
    try {
        setDirFolder(Drive1->folder());
        File1->setFolder(Dir1->path());
        File1_PathChange();
    } catch (const places::FolderError&) {
        controls::messageBox(this, programTitle,
                             QStringLiteral("There was a problem accessing drive ") +
                                 Drive1->drive() +
                                 QStringLiteral(". Maybe there isn't a disk in it?"),
                             QMessageBox::Critical, QMessageBox::Ok);
        if (Drive1->currentIndex() != 0) {
            {
                const QSignalBlocker quiet(Drive1);
                Drive1->setCurrentIndex(0);
            }
            changeDrive();
        }
        setDirFolder(Drive1->folder());
        File1->setFolder(Dir1->path());
        File1_PathChange();
    }
}

void frmPatch::setDirFolder(const QString& folder) {
    Dir1->setDrive(Drive1->root(), Drive1->rootText(), folder);
    Dir1_Change();
}

// The browser on folder's drive and at folder, as the drive and folder changes leave it. Throws
// FolderError, with the browser as it was, when the folder cannot be listed.
void frmPatch::showFolder(const QString& folder) {
    const int shown = Drive1->currentIndex();
    {
        const QSignalBlocker quiet(Drive1);
        Drive1->setCurrentIndex(Drive1->indexOfFolder(folder));
    }
    try {
        setDirFolder(folder);
    } catch (const places::FolderError&) {
        const QSignalBlocker quiet(Drive1);
        Drive1->setCurrentIndex(shown);
        throw;
    }
}

// Shows folder or, when it cannot be listed, the nearest folder above it on its drive that can.
// Returns why; when why is empty and folder itself could not be shown, the reason it could not.
QString frmPatch::showNearest(const QString& folder, const QString& why) {
    if (Drive1->indexOfFolder(folder) < 0)
        return QStringLiteral("\"%1\" is on none of the drives in the drive list.")
            .arg(places::readablePath(folder));
    QString reason = why;
    for (QString at = folder;; at = parentOf(at)) {
        try {
            showFolder(at);
            return reason;
        } catch (const places::FolderError& failure) {
            if (reason.isEmpty())
                reason = QString::fromUtf8(failure.what()) +
                         QStringLiteral(". The nearest folder that can be read is shown.");
            // Not even the drive's root: the browser stays where it was.
            if (at == parentOf(at) || Drive1->indexOfFolder(parentOf(at)) < 0)
                return reason;
        }
    }
}

// Opens path in the browser; returns why it could not be opened as given, or an empty text.
QString frmPatch::openPath(const QString& path) {
    namespace fs = std::filesystem;
    const QString shown = places::readablePath(path);
    std::error_code unknown;
    const fs::file_status status = fs::status(places::toNative(path), unknown);
    if (fs::is_directory(status))
        return showNearest(path, {});
    if (!fs::exists(status))
        return showNearest(parentOf(path),
                           QStringLiteral("There is no file or folder \"%1\". The nearest folder "
                                          "that exists is shown.")
                               .arg(shown));
    const QString name = places::fromNative(places::toNative(path).filename());
    if (!name.endsWith(QStringLiteral(".mrc"), Qt::CaseInsensitive))
        return showNearest(parentOf(path),
                           QStringLiteral("\"%1\" is not a mIRC script (*.mrc), so it cannot be "
                                          "patched. The folder it is in is shown.")
                               .arg(shown));
    const QString why = showNearest(parentOf(path), {});
    if (!why.isEmpty() || File1->select(name))
        return why;
    return QStringLiteral("\"%1\" is hidden or is not a regular file, so the file list does not "
                          "show it and it cannot be patched. The folder it is in is shown.")
        .arg(shown);
}

void frmPatch::selectFound(const QString& found) {
    if (found.isEmpty())
        return;
    const QString script = places::absolutePath(found);
    if (Drive1->indexOfFolder(script) < 0)
        return;
    try {
        showFolder(parentOf(script));
    } catch (const places::FolderError&) {
        return;
    }
    File1->select(places::fromNative(places::toNative(script).filename()));
}

void frmPatch::openGiven(const QString& path) {
    reportingFailures([this, &path] {
        const QString why = openPath(places::absolutePath(path));
        if (!why.isEmpty())
            controls::messageBox(this, programTitle, why, QMessageBox::NoIcon, QMessageBox::Ok);
    });
}

// While a patch run has the browser, nothing is dropped.
void frmPatch::dragEnterEvent(QDragEnterEvent* event) {
    if (Drive1->isEnabled() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// The file manager waits until the drop is over: the folder is opened, and any message shown,
// once it is.
void frmPatch::dropEvent(QDropEvent* event) {
    const QString file = droppedFile(event->mimeData());
    if (!Drive1->isEnabled() || file.isEmpty())
        return;
    event->acceptProposedAction();
    QMetaObject::invokeMethod(
        this, [this, file] { openGiven(file); }, Qt::QueuedConnection);
}

void frmPatch::Dir1_Activated(const QString& folder) {
    reportingFailures([this, &folder] {
        try {
            if (folder == Dir1->currentFolder()) {
                // Opening the folder shown reads it again, whatever the lists noticed of it.
                Dir1->reread();
                File1->reread();
                File1_PathChange();
                return;
            }
            Dir1->setPath(folder);
        } catch (const places::FolderError& failure) {
            // A folder the user may not open (another user's, or one removed meanwhile) leaves
            // the browser where it was rather than ending the program.
            controls::messageBox(this, programTitle, QString::fromUtf8(failure.what()),
                                 QMessageBox::Critical, QMessageBox::Ok);
            return;
        }
        Dir1_Change();
    });
}

// The folder shown was removed or renamed: the browser moves up to the nearest folder still
// there, as a folder change. Where even that fails (the whole drive gone) it stays, and the next
// step the user takes there says what is wrong; nobody asked for a message now.
void frmPatch::Dir1_FolderGone() {
    reportingFailures([this] {
        const QString nearest = Dir1->nearestListable();
        if (nearest.isEmpty())
            return;
        try {
            Dir1->setPath(nearest);
            Dir1_Change();
        } catch (const places::FolderError&) {
        }
    });
}

// The file list read its folder again: a first script copied in, or the last one removed.
void frmPatch::File1_Refreshed() {
    File1_PathChange();
}

// The folder change: the file list follows, and the drive remembers where it was left.
void frmPatch::Dir1_Change() {
    Drive1->rememberFolder(Dir1->currentFolder());
    File1->setFolder(Dir1->path());
    File1_PathChange();
}

// The Patch button rule: enabled when the folder holds a script, selected or not.
void frmPatch::File1_PathChange() {
    cmdPatch->setEnabled(File1->count() > 0);
}

// The selected script's menu: its backup put back in its place, offered only where there is one
// to put back.
void frmPatch::File1_MenuRequested(const QPoint& globalPosition) {
    reportingFailures([this, &globalPosition] {
        const QString fileName = File1->fileName();
        if (fileName.isEmpty())
            return;
        QString shown = File1->selectedItems().first()->text();
        shown.replace(QLatin1Char('&'), QLatin1String("&&")); // a name's & is no access key
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        QAction* restore =
            menu->addAction(QStringLiteral("Restore ") + shown + QStringLiteral(" from ") + shown +
                            QStringLiteral(".bak"));
        restore->setObjectName(QStringLiteral("mnuRestore"));
        restore->setEnabled(engine::hasBackupToRestore(places::toNative(File1->path()),
                                                       places::toNative(fileName)));
        connect(restore, &QAction::triggered, this, &frmPatch::mnuRestore_Click);
        menu->popup(globalPosition);
    });
}

void frmPatch::mnuRestore_Click() {
    reportingFailures([this] { restoreSelected(); });
}

void frmPatch::cmdInfo_Click() {
    reportingFailures([this] {
        if (!info)
            info = new frmInfo; // ownerless; it deletes itself when closed
        info->show();
        info->raise();
        info->activateWindow();
    });
}

void frmPatch::cmdPatch_Click() {
    reportingFailures([this] { patchSelected(); });
}

void frmPatch::patchSelected() {
    const QString fileName = File1->fileName();
    if (fileName.isEmpty()) {
        // Without a selection the run would take the folder itself for the script.
        controls::messageBox(this, programTitle,
                             QStringLiteral("Select the script to patch in the file list first."),
                             QMessageBox::NoIcon, QMessageBox::Ok);
        return;
    }
    // Both go to the run exactly as the file system has them, whatever their encoding.
    try {
        engine::runPatch(places::toNative(File1->path()), places::toNative(fileName), *this,
                         places::toNative(logFolder()));
    } catch (const engine::PatchError& failure) {
        runFailed("The patch could not be completed.", "Patch failed.", failure);
    }
}

void frmPatch::restoreSelected() {
    const QString fileName = File1->fileName();
    if (fileName.isEmpty())
        return;
    try {
        engine::runRestore(places::toNative(File1->path()), places::toNative(fileName), *this,
                           places::toNative(logFolder()));
    } catch (const engine::PatchError& failure) {
        runFailed("The original could not be restored.", "Restore failed.", failure);
    }
}

// The run has ended at failure, which says what became of each file: the box gives it under
// heading, and the browser is the user's again.
void frmPatch::runFailed(std::string_view heading, std::string_view status,
                         const engine::PatchError& failure) {
    controls::messageBox(this, programTitle,
                         fromUtf8(heading) + QStringLiteral("\n\n") +
                             QString::fromUtf8(failure.what()),
                         QMessageBox::Critical, QMessageBox::Ok);
    showStatus(status);
    setBrowserEnabled(true);
}

void frmPatch::showStatus(std::string_view text) {
    lblPatch->setStatus(fromUtf8(text));
    // The run holds the event loop, so the line is painted now or the user never sees the stage.
    lblPatch->repaint();
}

bool frmPatch::askYesNo(std::string_view prompt, bool questionIcon, engine::DefaultAnswer enter) {
    return controls::messageBox(this, programTitle, fromUtf8(prompt),
                                questionIcon ? QMessageBox::Question : QMessageBox::NoIcon,
                                QMessageBox::Yes | QMessageBox::No,
                                enter == engine::DefaultAnswer::yes
                                    ? QMessageBox::Yes
                                    : QMessageBox::No) == QMessageBox::Yes;
}

void frmPatch::showInfo(std::string_view text) {
    controls::messageBox(this, programTitle, fromUtf8(text), QMessageBox::NoIcon, QMessageBox::Ok);
}

void frmPatch::setBrowserEnabled(bool enabled) {
    Drive1->setEnabled(enabled);
    Dir1->setEnabled(enabled);
    File1->setEnabled(enabled);
}
