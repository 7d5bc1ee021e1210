#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPersistentModelIndex>

class QComboBox;
class QLabel;

namespace controls {

class DirList;

// What a control shows, as read-only text: the one thing a screen reader reads as the value of a
// combo box, and what it reads of a status bar that has a name of its own.
class AccessibleShownText : public QAccessibleTextInterface {
public:
    void selection(int, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

protected:
    virtual QString shown() const = 0;
};

// The drive list: named by its accessible name, with the drive it shows as its value and text,
// and the pop-up list of drives as its one child.
class AccessibleDriveList : public QAccessibleWidget, public AccessibleShownText {
public:
    explicit AccessibleDriveList(QWidget* widget);

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType t) override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    QComboBox* comboBox() const;
    QString shown() const override;
};

// The folder list: one child a shown folder, from the top, with no header row.
class AccessibleDirList : public QAccessibleWidget {
public:
    explicit AccessibleDirList(QWidget* widget);
    ~AccessibleDirList() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text t) const override;

private:
    DirList* view() const;

    // Each folder keeps its interface while it is shown, so a screen reader can hold on to it.
    mutable QHash<QPersistentModelIndex, QAccessible::Id> rows;
};

// The status line: named by its accessible name; what it says is its value, its description and
// its text, so a screen reader has it whichever it asks for.
class AccessibleStatusLine : public QAccessibleWidget, public AccessibleShownText {
public:
    explicit AccessibleStatusLine(QWidget* widget);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

private:
    QString shown() const override;
};

} // namespace controls
