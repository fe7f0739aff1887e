#include "ui/control/accessible_control.hpp"

#include <mutex>
#include <unordered_set>

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "ui/control/control_menu.hpp"

namespace tarnwell {

namespace {

// The widgets given a control menu. The factory asks this rather than the
// widget's properties: Qt may make a widget's interface while a property is
// being set, before its value is there.
std::unordered_set<const QObject*>& menuWidgets() {
    static std::unordered_set<const QObject*> widgets;
    return widgets;
}

bool hasControlMenu(const QWidget* widget) {
    return widget->contextMenuPolicy() == Qt::CustomContextMenu &&
           ControlMenus::controlOf(widget).has_value();
}

void requestMenu(QWidget* widget) {
    Q_EMIT widget->customContextMenuRequested(widget->rect().center());
}

// "&Save" reads "Save"; "&&" is one ampersand.
QString withoutMnemonic(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

// A push button, checkable button or check box, as Qt presents them, with
// the menu action.
class AccessibleControlButton final : public QAccessibleWidget {
public:
    explicit AccessibleControlButton(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessible::Role role() const override {
        if (button()->isCheckable()) {
            return button()->autoExclusive() ? QAccessible::RadioButton : QAccessible::CheckBox;
        }
        return QAccessible::Button;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        QAbstractButton* b = button();
        if (b->isCheckable()) {
            s.checkable = true;
            s.checked = b->isChecked();
        }
        if (b->isDown()) {
            s.pressed = true;
        }
        if (auto* push = qobject_cast<QPushButton*>(b); push && push->isDefault()) {
            s.defaultButton = true;
        }
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? withoutMnemonic(button()->text()) : name;
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled()) {
            names << (button()->isCheckable() ? toggleAction() : pressAction());
            if (hasControlMenu(widget())) {
                names << showMenuAction();
            }
        }
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (!widget()->isEnabled()) {
            return;
        }
        if (action == pressAction()) {
            button()->animateClick();
        } else if (action == toggleAction()) {
            // As Qt's: toggled is emitted, clicked is not.
            button()->toggle();
        } else if (action == showMenuAction()) {
            requestMenu(widget());
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

private:
    [[nodiscard]] QAbstractButton* button() const {
        return static_cast<QAbstractButton*>(widget());
    }
};

// A line edit as Qt presents it (its text, selection and editing), with the
// menu action.
class AccessibleControlField final : public QAccessibleWidget,
                                     public QAccessibleTextInterface,
                                     public QAccessibleEditableTextInterface {
public:
    explicit AccessibleControlField(QLineEdit* field)
        : QAccessibleWidget(field, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        if (type == QAccessible::EditableTextInterface) {
            return static_cast<QAccessibleEditableTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !field()->isReadOnly();
        s.readOnly = field()->isReadOnly();
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return field()->text();
        }
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t != QAccessible::Value) {
            QAccessibleWidget::setText(t, text);
            return;
        }
        field()->setText(text);
    }
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled() && hasControlMenu(widget())) {
            names.prepend(showMenuAction());
        }
        return names;
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() && widget()->isEnabled()) {
            requestMenu(widget());
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    // QAccessibleTextInterface
    void selection(int index, int* start, int* end) const override {
        *start = 0;
        *end = 0;
        if (index == 0 && field()->hasSelectedText()) {
            *start = field()->selectionStart();
            *end = *start + static_cast<int>(field()->selectedText().size());
        }
    }
    int selectionCount() const override { return field()->hasSelectedText() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index == 0) {
            field()->deselect();
        }
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0) {
            field()->setSelection(start, end - start);
        }
    }
    int cursorPosition() const override { return field()->cursorPosition(); }
    void setCursorPosition(int position) override { field()->setCursorPosition(position); }
    QString text(int start, int end) const override {
        return field()->text().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(field()->text().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint& point) const override {
        return field()->cursorPositionAt(field()->mapFromGlobal(point));
    }
    void scrollToSubstring(int start, int) override { field()->setCursorPosition(start); }
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

    // QAccessibleEditableTextInterface
    void deleteText(int start, int end) override {
        field()->setText(field()->text().remove(start, end - start));
    }
    void insertText(int offset, const QString& text) override {
        field()->setText(field()->text().insert(offset, text));
    }
    void replaceText(int start, int end, const QString& text) override {
        field()->setText(field()->text().replace(start, end - start, text));
    }

private:
    [[nodiscard]] QLineEdit* field() const { return static_cast<QLineEdit*>(widget()); }
};

QAccessibleInterface* controlFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    if (!menuWidgets().contains(object)) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return new AccessibleControlButton(button);
    }
    if (auto* field = qobject_cast<QLineEdit*>(widget)) {
        return new AccessibleControlField(field);
    }
    return nullptr;
}

}  // namespace

void installControlAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(controlFactory); });
}

void offerAccessibleMenu(QWidget* widget) {
    if (qobject_cast<QAbstractButton*>(widget) == nullptr &&
        qobject_cast<QLineEdit*>(widget) == nullptr) {
        return;
    }
    if (menuWidgets().insert(widget).second) {
        QObject::connect(widget, &QObject::destroyed, [widget] { menuWidgets().erase(widget); });
    }
    // An interface Qt made before (events of a widget under construction
    // make one even while no assistive technology listens) goes; the next
    // query makes ours.
    QAccessibleInterface* existing = QAccessible::queryAccessibleInterface(widget);
    if (existing != nullptr && dynamic_cast<AccessibleControlButton*>(existing) == nullptr &&
        dynamic_cast<AccessibleControlField*>(existing) == nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
    }
}

}  // namespace tarnwell
