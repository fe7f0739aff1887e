#include "ui/panel/midi_slider_view.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/midi/nrpn.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/locks.hpp"
#include "core/panel/parameters.hpp"
#include "ui/panel/lock_mark.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/value_field.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

constexpr int kPerRow = 3;
constexpr int kStepsPerUnit = 64;
// The property a parameter's cell carries: its index.
constexpr const char* kParameterProperty = "parameterIndex";

}  // namespace

MidiSliderView::MidiSliderView(Controller& controller, Locks& locks, std::int64_t startIndex,
                               std::int64_t endIndex, QWidget* parent)
    : QWidget(parent), controller_(controller), locks_(locks), startIndex_(startIndex) {
    // Never reach past the values or the labels, whatever range was asked for.
    const auto available = static_cast<std::int64_t>(
        std::min(controller.sliderValues().size(), sliderLabels().size()));
    const std::int64_t end = std::clamp(endIndex, startIndex, std::max(startIndex, available));

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(theme::metrics::kSliderColumnSpacing);
    grid->setVerticalSpacing(theme::metrics::kRowSpacing);
    for (std::int64_t index = startIndex; index < end; ++index) {
        const auto& label = sliderLabels()[static_cast<std::size_t>(index)];
        auto* cell = new QWidget(this);
        cell->setProperty(kParameterProperty, QVariant::fromValue<qint64>(index));
        cell->setMinimumHeight(theme::metrics::kSliderCellHeight);
        auto* column = new QVBoxLayout(cell);
        column->setAlignment(Qt::AlignCenter);
        auto* text = new QLabel(QString::fromStdString(label), cell);
        text->setFont(theme::captionFont(text->font()));
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        text->setTextFormat(Qt::PlainText);
        // Room for two lines on every label keeps the sliders of a row aligned.
        text->setMinimumHeight(2 * text->fontMetrics().lineSpacing());
        auto* slider = new ParameterSlider(0.0, static_cast<double>(kNrpnMax), kStepsPerUnit, cell);
        slider->setAccessibleName(QString::fromStdString(label));
        slider->setMinimumWidth(theme::metrics::kSliderWidth);
        slider->reserveLiveMarkerRoom();
        const QString description = QString::fromStdString(parameterDescription(index));
        text->setToolTip(description);
        slider->setToolTip(description);
        text->setBuddy(slider);
        auto* field = new ValueField(0, static_cast<int>(kNrpnMax), cell);
        field->setAccessibleName(tr("Value of %1").arg(QString::fromStdString(label)));
        // The padlock sits before the label's last line, so locking takes no
        // width from the slider.
        auto* caption = new QHBoxLayout;
        auto* lock = new LockMark(cell);
        caption->addWidget(lock, 0, Qt::AlignBottom);
        caption->addWidget(text, 1);
        column->addLayout(caption);
        column->addSpacing(theme::metrics::kLabelToSlider);
        auto* row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(field);
        column->addLayout(row);
        const auto position = static_cast<int>(index - startIndex);
        grid->addWidget(cell, position / kPerRow, position % kPerRow);
        sliders_.push_back(slider);
        fields_.push_back(field);
        lockMarks_.push_back(lock);

        connect(slider, &ParameterSlider::valueEdited, this, [this, index](double value) {
            editing_ = index;
            controller_.editParameter(index, value);
            editing_ = -1;
        });
        connect(slider, &ParameterSlider::editBegan, this, [this] { controller_.beginGesture(); });
        connect(slider, &ParameterSlider::editEnded, this, [this] { controller_.endGesture(); });
        connect(field, &ValueField::valueEntered, this, [this, index](int value) {
            controller_.editParameter(index, static_cast<double>(value));
        });
        showValue(index);
        showLock(index);
        connections_.push_back(
            controller_.watchParameter(index, [this, index] { showValue(index); }));
    }
    connections_.push_back(locks_.changed.connect([this](std::int64_t index) {
        if (index >= 0) {
            showLock(index);
            return;
        }
        for (std::size_t i = 0; i < sliders_.size(); ++i) {
            showLock(startIndex_ + static_cast<std::int64_t>(i));
        }
    }));
}

ParameterSlider* MidiSliderView::sliderFor(std::int64_t index) const {
    const std::int64_t position = index - startIndex_;
    if (position < 0 || position >= static_cast<std::int64_t>(sliders_.size())) {
        return nullptr;
    }
    return sliders_[static_cast<std::size_t>(position)];
}

ValueField* MidiSliderView::fieldFor(std::int64_t index) const {
    return sliderFor(index) ? fields_[static_cast<std::size_t>(index - startIndex_)] : nullptr;
}

LockMark* MidiSliderView::lockMarkFor(std::int64_t index) const {
    return sliderFor(index) ? lockMarks_[static_cast<std::size_t>(index - startIndex_)] : nullptr;
}

void MidiSliderView::showLock(std::int64_t index) {
    LockMark* mark = lockMarkFor(index);
    if (mark == nullptr) {
        return;
    }
    const bool locked = locks_.isLocked(index);
    mark->setLocked(locked);
    // Unlocked, the description is the tooltip's, as for any control.
    ParameterSlider* slider = sliderFor(index);
    slider->setAccessibleDescription(
        locked ? tr("Locked: Mutate and Morph leave it as it is. %1").arg(slider->toolTip())
               : QString());
}

void MidiSliderView::showModulation(std::int64_t index, std::optional<std::int64_t> value) {
    if (ParameterSlider* slider = sliderFor(index)) {
        slider->showLiveValue(value ? std::optional<double>(static_cast<double>(*value))
                                    : std::nullopt);
        fieldFor(index)->showLiveValue(value ? std::optional<int>(static_cast<int>(*value))
                                             : std::nullopt);
    }
}

void MidiSliderView::showValue(std::int64_t index) {
    ParameterSlider* slider = sliderFor(index);
    if (slider == nullptr) {
        return;
    }
    const double value = controller_.sliderValues()[static_cast<std::size_t>(index)];
    fieldFor(index)->showValue(static_cast<int>(nrpnValueFromDouble(value)));
    if (index != editing_) {
        slider->showValue(value);
    }
}

std::optional<std::int64_t> parameterOfWidget(const QWidget* widget) {
    // The slider and the field sit in their cell, two levels at most.
    for (int depth = 0; widget != nullptr && depth < 3; ++depth, widget = widget->parentWidget()) {
        const QVariant index = widget->property(kParameterProperty);
        if (index.isValid()) {
            return index.toLongLong();
        }
    }
    return std::nullopt;
}

}  // namespace tarnwell
