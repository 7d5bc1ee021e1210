#include "tests/controls/box_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

BoxAnswerer::BoxAnswerer(QList<QMessageBox::StandardButton> answers_)
    : answers(std::move(answers_)) {
    timer.setInterval(1);
    connect(&timer, &QTimer::timeout, this, &BoxAnswerer::answer);
    timer.start();
}

void BoxAnswerer::answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == last)
        return;
    last = box;
    SeenBox record;
    record.title = box->windowTitle();
    // What the user reads: the invisible break opportunities of long names are not part of it.
    record.text = box->text().remove(QChar(0x200B));
    record.icon = box->icon();
    record.buttons = box->standardButtons();
    if (QPushButton* button = box->defaultButton())
        record.defaultButton = box->standardButton(button);
    record.format = box->textFormat();
    record.modality = box->windowModality();
    const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    const QRect screen = box->screen()->availableGeometry();
    record.textFits = label && label->width() >= label->minimumSizeHint().width() &&
                      label->height() >= label->heightForWidth(label->width()) &&
                      screen.contains(box->frameGeometry());
    seen.append(record);

    if (answers.isEmpty()) {
        ++unexpected;
        box->reject();
        return;
    }
    QAbstractButton* button = box->button(answers.takeFirst());
    if (button)
        button->click();
    else
        box->reject();
}
