#include "ui/frm_patch.h"

#include "app/font_engine.h"
#include "app/given_path.h"
#include "app/start_up_memory.h"
#include "assets/resources.h"
#include "places/script_search.h"
#include "ui/failure_report.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char* argv[]) {
    chooseFontEngine();
    QApplication app(argc, argv);
    // The name places the patch log in ~/.local/share/morvane-patch/. No display name is set:
    // on X11 Qt would append it to every window title.
    QCoreApplication::setApplicationName(QStringLiteral("morvane-patch"));
    // Lets Wayland desktops match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("morvane-patch"));
    try {
        assets::loadFonts();
        // Message boxes are windows of their own: they take the application's font, not the
        // main window's.
        QApplication::setFont(assets::tahoma());
        frmPatch window;
        // A path the user gave is what they want shown; otherwise the script where the chat
        // client keeps it, so that nobody has to browse down to it.
        const QString given = givenPath(argc, argv);
        if (given.isEmpty())
            window.selectFound(places::newestScript(places::scriptFolders()));
        window.show();
        // Any message about the path comes over the window, not before it.
        if (!given.isEmpty())
            window.openGiven(given);
        releaseStartUpMemory();
        return app.exec();
    } catch (const std::exception& failure) {
        reportFailure(failure);
    } catch (...) {
        reportUnknownFailure();
    }
    return EXIT_FAILURE;
}
