#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The information window: what a patch run changes, and the warning that the patch is
// unofficial. It has no owner, so it can stay open after the main window has closed.
class frmInfo : public QWidget {
    Q_OBJECT

public:
    explicit frmInfo(QWidget* parent = nullptr);

    // The window's eight lines, joined by CR LF.
    static QString informationText();

private slots:
    void cmdClose_Click();

private:
    QLabel* Label1;
    QPlainTextEdit* Text1;
    QPushButton* cmdClose;
};
