#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

// What a test saw of one message box.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat format = Qt::AutoText;
    Qt::WindowModality modality = Qt::NonModal;
    // Whether the whole text fits inside the box, and the box inside the screen.
    bool textFits = false;
};

// Answers the program's modal message boxes as a user would, in order, by clicking their buttons,
// and records each box. A box beyond the scripted answers is recorded and cancelled, so a test
// that meets an unexpected question fails instead of hanging.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> answers);

    QList<SeenBox> seen;
    int unexpected = 0;

private:
    void answer();

    QList<QMessageBox::StandardButton> answers;
    QPointer<QMessageBox> last;
    QTimer timer;
};
