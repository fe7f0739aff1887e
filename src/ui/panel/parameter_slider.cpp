#include "ui/panel/parameter_slider.hpp"

#include <cmath>
#include <mutex>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

namespace tarnwell {

namespace {

// Pointer travel per shown step during a fine drag, relative to a plain one.
constexpr double kFineDragRatio = 10.0;

// The slider as assistive technologies see it: a value in the panel's units.
class AccessibleParameterSlider final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleParameterSlider(ParameterSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return QString::number(slider()->doubleValue(), 'f', decimals());
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override {
        const double step = slider()->shownStep();
        return std::floor(slider()->doubleValue() / step + 1e-9) * step;
    }
    void setCurrentValue(const QVariant& value) override {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (ok && std::isfinite(v)) {
            slider()->editValue(v);
        }
    }
    // A slider with a context menu (a control a hardware controller can
    // learn) offers it as an action, as right-click and the menu key do.
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (widget()->isEnabled() && widget()->contextMenuPolicy() == Qt::CustomContextMenu) {
            names.prepend(showMenuAction());
        }
        return names;
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() && widget()->isEnabled() &&
            widget()->contextMenuPolicy() == Qt::CustomContextMenu) {
            Q_EMIT widget()->customContextMenuRequested(slider()->handleRect().center());
            return;
        }
        QAccessibleWidget::doAction(action);
    }
    QVariant maximumValue() const override { return slider()->maximumValue(); }
    QVariant minimumValue() const override { return slider()->minimumValue(); }
    QVariant minimumStepSize() const override { return slider()->shownStep(); }

private:
    [[nodiscard]] ParameterSlider* slider() const {
        return static_cast<ParameterSlider*>(widget());
    }
    [[nodiscard]] int decimals() const {
        return slider()->shownStep() >= 1.0
                   ? 0
                   : static_cast<int>(std::ceil(-std::log10(slider()->shownStep())));
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("tarnwell::ParameterSlider") && object != nullptr &&
        object->isWidgetType()) {
        return new AccessibleParameterSlider(static_cast<ParameterSlider*>(object));
    }
    return nullptr;
}

}  // namespace

ParameterSlider::ParameterSlider(double minimum, double maximum, int stepsPerUnit, QWidget* parent)
    : QSlider(Qt::Horizontal, parent),
      minimum_(minimum),
      maximum_(maximum),
      stepsPerUnit_(stepsPerUnit) {
    static std::once_flag factory;
    std::call_once(factory, [] { QAccessible::installFactory(accessibleFactory); });
    const int steps = static_cast<int>(std::lround((maximum - minimum) * stepsPerUnit));
    setRange(0, steps);
    // Arrow keys move by about 1/1024 of the range, Page Up/Down by about
    // 1/16, each rounded to whole units where a unit is that small.
    const auto wholeUnits = [stepsPerUnit](int step) {
        return step >= stepsPerUnit ? (step + stepsPerUnit / 2) / stepsPerUnit * stepsPerUnit
                                    : std::max(1, step);
    };
    setSingleStep(wholeUnits(steps / 1024));
    setPageStep(wholeUnits(steps / 16));
    // Not WheelFocus: the wheel over an unfocused slider scrolls the page.
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, [this] {
        if (!editingValue_) {
            Q_EMIT valueEdited(doubleValue());
        }
    });
    connect(this, &QSlider::sliderPressed, this, &ParameterSlider::editBegan);
    connect(this, &QSlider::sliderReleased, this, &ParameterSlider::editEnded);
}

double ParameterSlider::doubleValue() const {
    const int position = value();
    if (position == maximum()) {
        // The top step is the range's end exactly, even where the range is
        // not a whole number of steps (2π).
        return maximum_;
    }
    return std::min(maximum_, minimum_ + static_cast<double>(position) / stepsPerUnit_);
}

QRect ParameterSlider::handleRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

int ParameterSlider::positionOf(double value) const {
    const double position = std::isfinite(value) ? (value - minimum_) * stepsPerUnit_ : 0.0;
    return static_cast<int>(std::lround(std::clamp(position, 0.0, static_cast<double>(maximum()))));
}

void ParameterSlider::showValue(double value) {
    const QSignalBlocker blocker(this);
    setValue(positionOf(value));
}

void ParameterSlider::editValue(double value) {
    const double clamped = std::clamp(value, minimum_, maximum_);
    editingValue_ = true;
    setValue(positionOf(clamped));
    editingValue_ = false;
    Q_EMIT editBegan();
    Q_EMIT valueEdited(clamped);
    Q_EMIT editEnded();
}

void ParameterSlider::keyPressEvent(QKeyEvent* event) {
    const bool fine = event->modifiers().testFlag(Qt::ShiftModifier);
    int direction = 0;
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            direction = -1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            direction = 1;
            break;
        default:
            break;
    }
    Q_EMIT editBegan();
    if (fine && direction != 0) {
        // One shown step: from a value between steps, to the next step in
        // that direction.
        const double step = shownStep_;
        const double here = doubleValue() / step;
        const double target =
            (direction > 0 ? std::floor(here + 1e-9) + 1.0 : std::ceil(here - 1e-9) - 1.0) * step;
        editValue(target);
        event->accept();
    } else {
        QSlider::keyPressEvent(event);
    }
    Q_EMIT editEnded();
}

void ParameterSlider::mousePressEvent(QMouseEvent* event) {
    fineDrag_ = false;
    QSlider::mousePressEvent(event);
}

void ParameterSlider::mouseMoveEvent(QMouseEvent* event) {
    if (isSliderDown() && event->modifiers().testFlag(Qt::ShiftModifier)) {
        if (!fineDrag_) {
            fineDrag_ = true;
            fineAnchorX_ = event->position().x();
            fineAnchorPosition_ = value();
        }
        const double span = std::max(1, width() - handleRect().width());
        const double perPixel = static_cast<double>(maximum()) / span / kFineDragRatio;
        setValue(static_cast<int>(
            std::lround(fineAnchorPosition_ + (event->position().x() - fineAnchorX_) * perPixel)));
        event->accept();
        return;
    }
    fineDrag_ = false;
    QSlider::mouseMoveEvent(event);
}

void ParameterSlider::mouseReleaseEvent(QMouseEvent* event) {
    fineDrag_ = false;
    QSlider::mouseReleaseEvent(event);
}

void ParameterSlider::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    // One coarse step a notch (QSlider's own would move by the desktop's
    // scroll lines, three steps or more).
    constexpr int kNotch = QWheelEvent::DefaultDeltasPerStep;
    const QPoint angle = event->angleDelta();
    const int delta = std::abs(angle.y()) >= std::abs(angle.x()) ? angle.y() : -angle.x();
    wheelRemainder_ += event->inverted() ? -delta : delta;
    const int notches = wheelRemainder_ / kNotch;
    wheelRemainder_ -= notches * kNotch;
    event->accept();
    if (notches == 0) {
        return;
    }
    Q_EMIT editBegan();
    setValue(value() + notches * singleStep());
    Q_EMIT editEnded();
}

void ParameterSlider::showLiveValue(std::optional<double> value) {
    if (value == liveValue_) {
        return;
    }
    liveValue_ = value;
    // A slider on a page not shown only keeps the value: its geometry comes
    // from the style (costly, and a running ball changes the value ten times
    // a second), and showing the page paints the whole slider anyway.
    if (!isVisible()) {
        return;
    }
    const QRect after = liveMarkerRect();
    // A move within the same pixel draws nothing new.
    if (after != drawnMarker_) {
        update(drawnMarker_.united(after));
        drawnMarker_ = after;
    }
}

namespace {
// Height of the live marker at most; the slider keeps this much room under
// its groove.
constexpr int kMarkerRoom = 10;
}  // namespace

void ParameterSlider::reserveLiveMarkerRoom() {
    markerRoom_ = true;
    updateGeometry();
}

QSize ParameterSlider::sizeHint() const {
    return QSlider::sizeHint() + QSize(0, markerRoom_ ? 2 * kMarkerRoom : 0);
}

QSize ParameterSlider::minimumSizeHint() const {
    return QSlider::minimumSizeHint() + QSize(0, markerRoom_ ? 2 * kMarkerRoom : 0);
}

QRect ParameterSlider::liveMarkerRect() const {
    if (!liveValue_) {
        return {};
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const int span = std::max(1, width() - handleRect().width());
    const int x =
        handleRect().width() / 2 +
        QStyle::sliderPositionFromValue(minimum(), maximum(), positionOf(*liveValue_), span);
    const int size = std::clamp(groove.height() + 2, 6, kMarkerRoom);
    return {x - size / 2, groove.bottom() + 1, size, size};
}

void ParameterSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    const QRect marker = liveMarkerRect();
    drawnMarker_ = marker;
    if (marker.isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Highlight));
    // A small triangle pointing up at the value the synthesizer receives.
    const QPolygonF triangle({QPointF(marker.center().x() + 0.5, marker.top()),
                              QPointF(marker.right() + 1, marker.bottom() + 1),
                              QPointF(marker.left(), marker.bottom() + 1)});
    painter.drawPolygon(triangle);
}

}  // namespace tarnwell
