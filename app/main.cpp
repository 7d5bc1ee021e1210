#include "ui/frm_patch.h"

#include "app/font_engine.h"
#include "app/start_up_memory.h"
#include "assets/resources.h"
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
        window.show();
        releaseStartUpMemory();
        return app.exec();
    } catch (const std::exception& failure) {
        reportFailure(failure);
    } catch (...) {
        reportUnknownFailure();
    }
    return EXIT_FAILURE;
}
