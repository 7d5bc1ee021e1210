// One empty window and nothing else: the start-up time and idle memory that any Qt Widgets
// program pays, against which the patcher's own are measured.

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.show();
    return app.exec();
}
