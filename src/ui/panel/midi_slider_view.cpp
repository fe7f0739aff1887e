#include "ui/panel/midi_slider_view.hpp"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/midi/nrpn.hpp"
#include "core/panel/controller.hpp"
#include "core/panel/parameters.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

constexpr int kPerRow = 3;
constexpr int kStepsPerUnit = 64;

}  // namespace

MidiSliderView::MidiSliderView(Controller& controller, std::int64_t startIndex,
                               std::int64_t endIndex, SendNRPN onChange, QWidget* parent)
    : QWidget(parent),
      controller_(controller),
      startIndex_(startIndex),
      onChange_(std::move(onChange)) {
    // Never reach past the values or the labels, whatever range was asked for.
    const auto available = static_cast<std::int64_t>(
        std::min(controller.sliderValues().size(), sliderLabels().size()));
    const std::int64_t end = std::clamp(endIndex, startIndex, std::max(startIndex, available));

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    for (std::int64_t index = startIndex; index < end; ++index) {
        const auto& label = sliderLabels()[static_cast<std::size_t>(index)];
        auto* cell = new QWidget(this);
        cell->setMinimumHeight(150);
        auto* column = new QVBoxLayout(cell);
        column->setAlignment(Qt::AlignCenter);
        auto* text = new QLabel(QString::fromStdString(label), cell);
        text->setFont(captionFont(text->font()));
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        text->setTextFormat(Qt::PlainText);
        // Room for two lines on every label keeps the sliders of a row aligned.
        text->setMinimumHeight(2 * text->fontMetrics().lineSpacing());
        auto* slider = new ParameterSlider(0.0, static_cast<double>(kNrpnMax), kStepsPerUnit, cell);
        slider->setAccessibleName(QString::fromStdString(label));
        slider->setMinimumWidth(150);
        text->setBuddy(slider);
        column->addWidget(text);
        column->addSpacing(5);
        column->addWidget(slider);
        const auto position = static_cast<int>(index - startIndex);
        grid->addWidget(cell, position / kPerRow, position % kPerRow);
        sliders_.push_back(slider);

        connect(slider, &ParameterSlider::valueEdited, this, [this, index](double value) {
            controller_.setSliderValue(index, value);
            if (onChange_) {
                onChange_(value, nrpnNumberOfIndex(index));
            }
        });
    }
    showValues();
    connection_ = controller_.changed.connect([this](ControllerChange change) {
        if (change.field == ControllerField::sliderValues) {
            showValues();
        }
    });
}

ParameterSlider* MidiSliderView::sliderFor(std::int64_t index) const {
    const std::int64_t position = index - startIndex_;
    if (position < 0 || position >= static_cast<std::int64_t>(sliders_.size())) {
        return nullptr;
    }
    return sliders_[static_cast<std::size_t>(position)];
}

void MidiSliderView::showValues() {
    const auto& values = controller_.sliderValues();
    for (std::size_t i = 0; i < sliders_.size(); ++i) {
        const auto index = static_cast<std::size_t>(startIndex_) + i;
        sliders_[i]->showValue(index < values.size() ? values[index] : 0.0);
    }
}

}  // namespace tarnwell
