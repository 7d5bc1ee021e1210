// startup-steps: the main window's start-up taken apart, each step's milliseconds on one line:
// what the patcher does beyond the minimal Qt program, step by step, in the order it does it.
// Every step is timed the first time it runs, as at a real start.

#include "assets/resources.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "places/script_search.h"
#include "places/volumes.h"
#include "ui/frm_patch.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

class Laps {
public:
    void lap(const char* step) {
        const Clock::time_point now = Clock::now();
        std::printf("%s=%.1f ", step,
                    std::chrono::duration<double, std::milli>(now - last_).count());
        last_ = now;
    }

private:
    Clock::time_point last_ = Clock::now();
};

} // namespace

int main(int argc, char* argv[]) {
    Laps laps;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-patch"));
    laps.lap("application");
    assets::loadFonts();
    laps.lap("fonts");
    QWidget scratch;
    QIcon icon;
    for (const char* size : {"16", "22", "24", "32", "48", "64", "128", "256"})
        icon.addPixmap(
            QPixmap(QStringLiteral(":/assets/icon-%1.png").arg(QLatin1String(size)), "PNG"));
    scratch.setWindowIcon(icon);
    laps.lap("icons");
    const QPixmap banner(QStringLiteral(":/assets/banner.bmp"));
    laps.lap("banner");
    const auto volumes = places::systemVolumes();
    laps.lap("volumes");
    new controls::DirList(&scratch);
    laps.lap("folder_list");
    new controls::FileList(&scratch);
    laps.lap("file_list");
    frmPatch window;
    laps.lap("main_window_after_those");
    // As the program does when it is given no path: the chat client's folders searched, then the
    // browser moved to the script found.
    const QString found = places::newestScript(places::scriptFolders());
    laps.lap("script_search");
    window.selectFound(found);
    laps.lap("script_shown");
    window.show();
    laps.lap("show");
    std::printf("\n");
    return 0;
}
