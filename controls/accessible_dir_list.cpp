#include "controls/accessible_controls.h"

#include "controls/dir_list.h"

#include <QItemSelectionModel>
#include <QPointer>

namespace controls {
namespace {

// One shown folder. Opening it is what a double-click or Enter does.
class AccessibleFolderRow : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    AccessibleFolderRow(DirList* list, const QModelIndex& index)
        : list(list)
        , index(index) {}

    bool isValid() const override { return list && index.isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list ? list->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(list.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return index.data(Qt::DisplayRole).toString();
        if (t == QAccessible::Description)
            return index.data(Qt::ToolTipRole).toString();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect shown = list->visualRect(index);
        return shown.translated(list->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override { return QAccessible::TreeItem; }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = list->selectionModel()->isSelected(index);
        s.focused = list->hasFocus() && list->currentIndex() == index;
        s.active = list->currentIndex() == index;
        s.disabled = !list->isEnabled();
        // The current folder and its ancestors are drawn open.
        if (list->model()->hasChildren(index)) {
            s.expandable = true;
            s.expanded = true;
        }
        s.offscreen = !list->viewport()->rect().intersects(list->visualRect(index));
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                 : nullptr;
    }

    QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString& actionName) override {
        if (!isValid())
            return;
        list->setCurrentIndex(index);
        if (actionName != pressAction())
            return;
        // Opened once the reader's request has been answered, as a pressed button is: opening
        // rebuilds the list, and with it this row.
        const QString folder = index.data(Qt::UserRole).toString();
        QMetaObject::invokeMethod(
            list.data(), [list = list, folder] { emit list->folderActivated(folder); },
            Qt::QueuedConnection);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    QPointer<DirList> list;
    QPersistentModelIndex index;
};

} // namespace

AccessibleDirList::AccessibleDirList(QWidget* widget)
    : QAccessibleWidget(widget, QAccessible::Tree) {}

AccessibleDirList::~AccessibleDirList() {
    for (const QAccessible::Id id : std::as_const(rows))
        QAccessible::deleteAccessibleInterface(id);
}

DirList* AccessibleDirList::view() const {
    return static_cast<DirList*>(widget());
}

int AccessibleDirList::childCount() const {
    return view()->shownCount();
}

QAccessibleInterface* AccessibleDirList::child(int row) const {
    const QModelIndex index = view()->shownAt(row);
    if (!index.isValid())
        return nullptr;
    // The folders of a list that moved on are gone with it.
    for (auto it = rows.begin(); it != rows.end();) {
        if (it.key().isValid()) {
            ++it;
        } else {
            QAccessible::deleteAccessibleInterface(it.value());
            it = rows.erase(it);
        }
    }
    const auto known = rows.constFind(index);
    if (known != rows.cend())
        return QAccessible::accessibleInterface(known.value());
    auto* folder = new AccessibleFolderRow(view(), index);
    rows.insert(index, QAccessible::registerAccessibleInterface(folder));
    return folder;
}

int AccessibleDirList::indexOfChild(const QAccessibleInterface* child) const {
    if (!child || child->role() != QAccessible::TreeItem || child->parent() != this)
        return -1;
    return view()->rowOf(static_cast<const AccessibleFolderRow*>(child)->index);
}

QAccessibleInterface* AccessibleDirList::childAt(int x, int y) const {
    const QPoint at = view()->viewport()->mapFromGlobal(QPoint(x, y));
    return child(view()->rowOf(view()->indexAt(at)));
}

QAccessibleInterface* AccessibleDirList::focusChild() const {
    return child(view()->rowOf(view()->currentIndex()));
}

// The folder the user stands on is the list's value; its name says what the list is.
QString AccessibleDirList::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return view()->currentIndex().data(Qt::DisplayRole).toString();
    return QAccessibleWidget::text(t);
}

} // namespace controls
