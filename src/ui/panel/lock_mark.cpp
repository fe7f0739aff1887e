#include "ui/panel/lock_mark.hpp"

#include <QPainter>
#include <QPainterPath>

namespace tarnwell {

LockMark::LockMark(QWidget* parent) : QWidget(parent) {
    setObjectName("lockMark");
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

QSize LockMark::sizeHint() const {
    // As tall as a line of text, so it scales with the font.
    const int height = fontMetrics().height();
    return {height * 3 / 4, height};
}

void LockMark::setLocked(bool locked) {
    if (locked == locked_) {
        return;
    }
    locked_ = locked;
    setToolTip(locked ? tr("Locked: Mutate and Morph leave this parameter as it is") : QString());
    update();
}

void LockMark::paintEvent(QPaintEvent* /*event*/) {
    if (!locked_) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette().color(QPalette::WindowText);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    // The body: the lower half and a little more.
    const QRectF body(box.left(), box.top() + box.height() * 0.45, box.width(),
                      box.height() * 0.55);
    // The shackle: an arch over the body.
    const qreal inset = box.width() * 0.2;
    const qreal arch = box.width() - 2 * inset;
    QPainterPath shackle;
    shackle.moveTo(body.left() + inset, body.top());
    shackle.lineTo(body.left() + inset, box.top() + arch / 2);
    shackle.arcTo(QRectF(body.left() + inset, box.top(), arch, arch), 180, -180);
    shackle.lineTo(body.right() - inset, body.top());
    painter.setPen(QPen(ink, std::max<qreal>(1.5, box.width() * 0.15)));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shackle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawRoundedRect(body, 1.5, 1.5);
}

}  // namespace tarnwell
