#include "ui/panel/value_field.hpp"

#include <QKeyEvent>
#include <QToolTip>

namespace tarnwell {

ValueField::ValueField(int minimum, int maximum, QWidget* parent)
    : QLineEdit(parent), minimum_(minimum), maximum_(maximum) {
    setAlignment(Qt::AlignCenter);
    // Room for the widest value, not more.
    setMaximumWidth(fontMetrics().horizontalAdvance(QString::number(maximum)) * 2 + 12);
    setToolTip(tr("Type a value from %1 to %2 and press Enter").arg(minimum).arg(maximum));
    restore();
}

void ValueField::showValue(int value) {
    shown_ = value;
    if (!hasFocus() || !isModified()) {
        restore();
    }
}

void ValueField::restore() {
    setText(QString::number(shown_));
    setModified(false);
}

void ValueField::take() {
    if (!isModified()) {
        return;
    }
    const QString typed = text().trimmed();
    bool ok = false;
    const int value = typed.toInt(&ok);
    if (!ok || value < minimum_ || value > maximum_) {
        restore();
        const QString why =
            tr("\"%1\" is not a value from %2 to %3").arg(typed).arg(minimum_).arg(maximum_);
        setToolTip(why);
        QToolTip::showText(mapToGlobal(rect().bottomLeft()), why, this);
        return;
    }
    setToolTip(tr("Type a value from %1 to %2 and press Enter").arg(minimum_).arg(maximum_));
    setModified(false);
    Q_EMIT valueEntered(value);
    restore();
}

void ValueField::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            take();
            event->accept();
            return;
        case Qt::Key_Escape:
            restore();
            event->accept();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void ValueField::focusOutEvent(QFocusEvent* event) {
    restore();
    QLineEdit::focusOutEvent(event);
}

}  // namespace tarnwell
