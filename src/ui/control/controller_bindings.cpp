#include "ui/control/controller_bindings.hpp"

#include <QAbstractSlider>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QWidget>

#include "core/control/controller_input.hpp"
#include "core/model.hpp"
#include "ui/control/control_menu.hpp"

namespace tarnwell {

namespace {

constexpr const char* kMarkProperty = "tarnwellBindingMark";

// Drawn over a control: a frame while it is learning, a small dot in its
// top right corner while a knob is bound to it, a ring while that knob waits
// for pickup. Lets every mouse event through.
class MarkOverlay final : public QWidget {
public:
    explicit MarkOverlay(QWidget* control) : QWidget(control) {
        setObjectName("bindingMark");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(control->rect());
        hide();
    }

    void show(BindingMark mark) {
        if (mark == mark_) {
            return;
        }
        mark_ = mark;
        parentWidget()->setProperty(kMarkProperty, static_cast<int>(mark));
        setVisible(mark != BindingMark::none);
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor colour = palette().color(QPalette::Highlight);
        if (mark_ == BindingMark::learning) {
            painter.setPen(QPen(colour, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
            return;
        }
        constexpr qreal kSize = 6;
        const QRectF dot(width() - kSize - 2, 1.5, kSize, kSize);
        if (mark_ == BindingMark::waiting) {
            painter.setPen(QPen(colour, 1.5));
            painter.setBrush(Qt::NoBrush);
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
        }
        painter.drawEllipse(dot);
    }

private:
    BindingMark mark_ = BindingMark::none;
};

MarkOverlay* overlayOf(QWidget* widget) {
    return widget->findChild<MarkOverlay*>(QStringLiteral("bindingMark"),
                                           Qt::FindDirectChildrenOnly);
}

QString modeText(MappingMode mode) {
    switch (mode) {
        case MappingMode::relativeTwosComplement:
        case MappingMode::relativeSignedBit:
        case MappingMode::relativeBinaryOffset:
            return QObject::tr(" (relative)");
        case MappingMode::toggle:
            return QObject::tr(" (toggle)");
        case MappingMode::momentary:
            return QObject::tr(" (momentary)");
        case MappingMode::absolute:
            break;
    }
    return {};
}

}  // namespace

ControllerBindings::ControllerBindings(ControlMenus& menus, Model& model, Status status,
                                       QObject* parent)
    : QObject(parent),
      menus_(menus),
      model_(model),
      input_(model.controllerInput()),
      status_(std::move(status)) {
    menus_.addEntries([this](QMenu& menu, ControlId control, QWidget*) {
        QAction* learnAction = menu.addAction(tr(kLearnText));
        learnAction->setStatusTip(tr("Bind the next knob, fader, key or pad you move"));
        connect(learnAction, &QAction::triggered, this, [this, control] { learn(control); });
        QAction* forget = menu.addAction(tr(kForgetText));
        forget->setEnabled(!input_.engine().mappingsOf(control).empty());
        connect(forget, &QAction::triggered, this,
                [this, control] { input_.engine().forgetControl(control); });
        if (controlHasDefault(control)) {
            QAction* reset = menu.addAction(tr(kResetText));
            connect(reset, &QAction::triggered, this,
                    [this, control] { resetControlToDefault(model_, control); });
        }
    });
    for (const ControlMenus::Attached& attached : menus_.controls()) {
        if (attached.widget) {
            decorate(attached.widget, attached.control);
        }
    }
    connect(&menus_, &ControlMenus::widgetAttached, this, &ControllerBindings::decorate);

    ControlEngine& engine = input_.engine();
    connections_.push_back(engine.mappingsChanged.connect([this] { refresh(); }));
    connections_.push_back(
        engine.learned.connect([this](const Mapping& mapping) { learned(mapping.control); }));
    connections_.push_back(input_.framed.connect([this] { refresh(); }));
    connections_.push_back(
        model_.controller().valuesChanged.connect([this](std::int64_t) { refresh(); }));
    connections_.push_back(model_.physics().changed.connect([this](PhysicsChange change) {
        if (change == PhysicsChange::settings) {
            refresh();
        }
    }));
    refresh();
}

ControllerBindings::~ControllerBindings() {
    if (filteringKeys_) {
        qApp->removeEventFilter(this);
    }
}

void ControllerBindings::decorate(QWidget* widget, ControlId control) {
    new MarkOverlay(widget);
    widget->installEventFilter(this);
    // A knob does not fight the mouse: while a slider is held, moves for
    // its control are ignored.
    if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
        ControlEngine& engine = input_.engine();
        connect(slider, &QAbstractSlider::sliderPressed, this,
                [&engine, control] { engine.setHeld(control, true); });
        connect(slider, &QAbstractSlider::sliderReleased, this,
                [&engine, control] { engine.setHeld(control, false); });
    }
    const std::size_t slot = controlSlot(control);
    overlayOf(widget)->show(marks_[slot]);
}

std::optional<ControlId> ControllerBindings::learning() const {
    return input_.engine().learning();
}

BindingMark ControllerBindings::markOf(ControlId control) const {
    const std::size_t slot = controlSlot(control);
    return slot < marks_.size() ? marks_[slot] : BindingMark::none;
}

BindingMark ControllerBindings::shownMark(const QWidget* widget) {
    const QVariant mark = widget->property(kMarkProperty);
    return mark.isValid() ? static_cast<BindingMark>(mark.toInt()) : BindingMark::none;
}

QString ControllerBindings::sourceText(ControlId control) const {
    QStringList sources;
    for (const Mapping& m : input_.engine().mappingsOf(control)) {
        sources << QString::fromStdString(describeSource(m.source)) + modeText(m.mode);
    }
    return sources.join(QStringLiteral("; "));
}

void ControllerBindings::learn(ControlId control) {
    input_.engine().beginLearn(control);
    if (!filteringKeys_) {
        qApp->installEventFilter(this);
        filteringKeys_ = true;
    }
    QString prompt = tr(kLearningPrompt);
    if (!input_.chosenSource()) {
        prompt += QLatin1Char(' ') + tr("Choose the controller under Controller Input first.");
    }
    status_(prompt, false);
    refresh();
}

void ControllerBindings::cancelLearning() {
    if (!input_.engine().learning()) {
        return;
    }
    input_.engine().cancelLearn();
    if (filteringKeys_) {
        qApp->removeEventFilter(this);
        filteringKeys_ = false;
    }
    status_(tr("Learning cancelled; nothing was bound."), false);
    refresh();
}

void ControllerBindings::learned(ControlId control) {
    if (filteringKeys_) {
        qApp->removeEventFilter(this);
        filteringKeys_ = false;
    }
    status_(tr("%1 now moves %2.")
                .arg(sourceText(control), QString::fromStdString(controlInfo(control).name)),
            false);
    refresh();
}

// Every mark from the engine's state, redrawing only the controls whose
// mark changed.
void ControllerBindings::refresh() {
    std::array<BindingMark, kControlCount> marks{};
    const ControlEngine& engine = input_.engine();
    const auto& mappings = engine.mappings();
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        const std::size_t slot = controlSlot(mappings[i].control);
        if (engine.pickupState(i) == PickupState::waiting) {
            marks[slot] = BindingMark::waiting;
        } else if (marks[slot] == BindingMark::none) {
            marks[slot] = BindingMark::bound;
        }
    }
    if (const auto control = engine.learning()) {
        marks[controlSlot(*control)] = BindingMark::learning;
    }
    for (std::size_t slot = 0; slot < marks.size(); ++slot) {
        if (marks[slot] == marks_[slot]) {
            continue;
        }
        marks_[slot] = marks[slot];
        const ControlId control = learnableControls()[slot].id;
        const QString description =
            marks[slot] == BindingMark::none ? QString() : sourceText(control);
        for (QWidget* widget : menus_.widgetsOf(control)) {
            if (MarkOverlay* overlay = overlayOf(widget)) {
                overlay->show(marks[slot]);
            }
            widget->setAccessibleDescription(description);
        }
    }
}

bool ControllerBindings::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (filteringKeys_ && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
                input_.engine().learning()) {
                cancelLearning();
                return true;
            }
            break;
        case QEvent::Resize:
            if (watched->isWidgetType()) {
                auto* widget = static_cast<QWidget*>(watched);
                if (MarkOverlay* overlay = overlayOf(widget)) {
                    overlay->setGeometry(widget->rect());
                }
            }
            break;
        case QEvent::ToolTip: {
            if (!watched->isWidgetType()) {
                break;
            }
            auto* widget = static_cast<QWidget*>(watched);
            const auto control = ControlMenus::controlOf(widget);
            if (!control || markOf(*control) == BindingMark::none) {
                break;
            }
            QString text = widget->toolTip();
            if (!text.isEmpty()) {
                text += QLatin1Char('\n');
            }
            switch (markOf(*control)) {
                case BindingMark::learning:
                    text += tr(kLearningPrompt);
                    break;
                case BindingMark::waiting:
                    text += tr("Controller: %1 (waiting: move the knob to the value shown to "
                               "take over)")
                                .arg(sourceText(*control));
                    break;
                default:
                    text += tr("Controller: %1").arg(sourceText(*control));
                    break;
            }
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, widget);
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarnwell
