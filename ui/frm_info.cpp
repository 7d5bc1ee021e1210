#include "ui/frm_info.h"

#include "assets/resources.h"
#include "controls/push_button.h"
#include "controls/twips.h"

#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>
#include <string_view>

namespace {

constexpr controls::TwipsRect clientArea{0, 0, 4680, 3585};
constexpr controls::TwipsRect label1Rect{120, 0, 2895, 255};
constexpr controls::TwipsRect text1Rect{113, 240, 4455, 2775};
constexpr controls::TwipsRect cmdCloseRect{1733, 3120, 1215, 375};

constexpr std::array<std::string_view, 8> informationLines{
    "The following events are changed:",
    "  on *:DIALOG:msn.room.*:init:*: - adds 'PT - Chat Partners' category (create room)",
    "  on *:DIALOG:msn.roomcat:init:0: - adds 'Chat Partners - PT' category (room browser)",
    "",
    "The following misc. things are changed:",
    "  The debug log Tirrasek left in is commented-out",
    "",
    "WARNING: This is an unofficial patch. Pemberlith nor Tirrasek's Realm takes any "
    "responsibility if the patch messes up Morvane.",
};

} // namespace

QString frmInfo::informationText() {
    QString text;
    for (std::size_t i = 0; i < informationLines.size(); ++i) {
        if (i > 0)
            text += QStringLiteral("\r\n");
        text += QString::fromUtf8(informationLines[i].data(),
                                  static_cast<qsizetype>(informationLines[i].size()));
    }
    return text;
}

frmInfo::frmInfo(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmInfo"));
    // Closing unloads the window: the next Patch Info builds it, text and scroll position, anew.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Patch Information"));
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.ico")));
    setFont(assets::tahoma());
    setFixedSize(controls::toPixels(clientArea).size());

    Label1 = new QLabel(QStringLiteral("Patch Information:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(controls::toPixels(label1Rect));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Patch Information"));
    Text1->setGeometry(controls::toPixels(text1Rect));
    Text1->setReadOnly(true);
    // Read-only still lets the user select and copy, with the mouse and with the keyboard.
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setFocusPolicy(Qt::StrongFocus);
    Text1->setTabChangesFocus(true);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setWordWrapMode(QTextOption::WordWrap);
    Text1->setPlainText(informationText());

    cmdClose = new controls::PushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(controls::toPixels(cmdCloseRect));

    setTabOrder(Text1, cmdClose);
    Text1->setFocus();

    connect(cmdClose, &QPushButton::clicked, this, &frmInfo::cmdClose_Click);
}

void frmInfo::cmdClose_Click() {
    close();
}
