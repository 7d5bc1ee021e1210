#include "box_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

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
    record.text = box->text();
    record.icon = box->icon();
    record.buttons = box->standardButtons();
    if (QPushButton* button = box->defaultButton())
        record.defaultButton = box->standardButton(button);
    record.format = box->textFormat();
    record.modality = box->windowModality();
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
