#include "ui/panel/value_field.hpp"

#include <QHelpEvent>
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

bool ValueField::isEdited() const {
    return text().trimmed() != QString::number(shown_);
}

void ValueField::showValue(int value) {
    const bool typing = hasFocus() && isEdited();
    shown_ = value;
    if (!typing) {
        restore();
    }
}

void ValueField::restore() {
    setText(QString::number(shown_));
    setModified(false);
}

void ValueField::take() {
    if (!isEdited()) {
        restore();
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

QString ValueField::toolTipText() const {
    if (!liveValue_) {
        return toolTip();
    }
    return toolTip() + QLatin1Char('\n') +
           tr("Stored value %1; a running ball sends %2 now. Save Preset stores the stored "
              "value.")
               .arg(shown_)
               .arg(*liveValue_);
}

bool ValueField::event(QEvent* event) {
    // Built when asked for, so a ball moving 60 times a second costs no text.
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), toolTipText(), this);
        return true;
    }
    return QLineEdit::event(event);
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
