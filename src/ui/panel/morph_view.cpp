#include "ui/panel/morph_view.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/panel/morph.hpp"
#include "core/panel/presets.hpp"
#include "ui/panel/action_button.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/picker.hpp"
#include "ui/panel/preset_list_model.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

// The slider counts tenths of a percent; arrows move 1 %, Page Up/Down 10 %.
constexpr int kStepsPerPercent = 10;
constexpr double kPercent = 100.0;

QString percentText(double percent) {
    return MorphView::tr("%1 %").arg(percent, 0, 'f', 1);
}

}  // namespace

MorphView::MorphView(Morph& morph, Presets& presets, const PanelActions& actions, QWidget* parent)
    : QWidget(parent), morph_(morph) {
    setObjectName("MorphView");
    auto* column = new QVBoxLayout(this);

    auto* pickers = new QGridLayout;
    pickers->setHorizontalSpacing(theme::metrics::kColumnSpacing);
    const auto addPicker = [this, &presets, pickers](const QString& text, int position) {
        auto* label = new QLabel(text, this);
        auto* picker = new Picker(this);
        picker->setAccessibleName(text);
        picker->setModel(new PresetListModel(presets, picker, false));
        picker->setMinimumWidth(theme::metrics::kDestinationPickerWidth);
        picker->setMaxVisibleItems(20);
        label->setBuddy(picker);
        pickers->addWidget(label, 0, position * 2);
        pickers->addWidget(picker, 0, position * 2 + 1);
        return picker;
    };
    pickerA_ = addPicker(tr("Preset A"), 0);
    pickerA_->setObjectName("morphPresetA");
    pickerB_ = addPicker(tr("Preset B"), 1);
    pickerB_->setObjectName("morphPresetB");
    column->addLayout(pickers);
    connect(pickerA_, &QComboBox::activated, this, [this](int row) { morph_.setPresetA(row); });
    connect(pickerB_, &QComboBox::activated, this, [this](int row) { morph_.setPresetB(row); });

    auto* row = new QHBoxLayout;
    auto* a = new QLabel(tr("A"), this);
    auto* b = new QLabel(tr("B"), this);
    slider_ = new ParameterSlider(0.0, kPercent, kStepsPerPercent, this);
    slider_->setObjectName("morphSlider");
    slider_->setAccessibleName(tr("Morph"));
    slider_->setShownStep(1.0 / kStepsPerPercent);
    slider_->setSingleStep(kStepsPerPercent);
    slider_->setPageStep(10 * kStepsPerPercent);
    slider_->setToolTip(
        tr("From preset A (0 %) to preset B (100 %): every unlocked parameter between the two. "
           "Switches and mod buttons are A's below 50 % and B's from 50 % on."));
    readout_ = new QLabel(this);
    readout_->setObjectName("morphReadout");
    readout_->setMinimumWidth(readout_->fontMetrics().horizontalAdvance(percentText(100.0)));
    readout_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(a);
    row->addWidget(slider_, 1);
    row->addWidget(b);
    row->addWidget(readout_);
    column->addLayout(row);

    auto* tools = new QHBoxLayout;
    auto* hint = new QLabel(tr("Locked parameters stay as they are."), this);
    hint->setFont(theme::captionFont(hint->font()));
    tools->addWidget(hint, 1);
    // Keep what you find: the panel shows it differs from any saved preset.
    tools->addWidget(new ActionButton(actions.savePresetAs, tr("Save Preset As..."), this));
    column->addLayout(tools);

    connect(slider_, &ParameterSlider::editBegan, this, [this] { morph_.beginMorphGesture(); });
    connect(slider_, &ParameterSlider::valueEdited, this,
            [this](double percent) { morph_.setMorphPosition(percent / kPercent); });
    connect(slider_, &ParameterSlider::editEnded, this, [this] { morph_.endMorphGesture(); });

    showMorph();
    connections_.push_back(morph_.changed.connect([this] { showMorph(); }));
    // After the pickers' own rows have followed a change of the list.
    connections_.push_back(presets.changed.connect([this](PresetsEvent) { showMorph(); }));
}

MorphView::~MorphView() {
    // A drag cut short by closing the window still ends its undo step.
    if (slider_->isSliderDown()) {
        morph_.endMorphGesture();
    }
}

void MorphView::showMorph() {
    const auto rowOf = [](std::optional<std::int64_t> slot, const QComboBox* picker) {
        return slot && *slot < picker->count() ? static_cast<int>(*slot) : -1;
    };
    {
        const QSignalBlocker blockA(pickerA_);
        const QSignalBlocker blockB(pickerB_);
        pickerA_->setCurrentIndex(rowOf(morph_.presetA(), pickerA_));
        pickerB_->setCurrentIndex(rowOf(morph_.presetB(), pickerB_));
    }
    const double percent = morph_.morphPosition() * kPercent;
    if (!slider_->isSliderDown()) {
        slider_->showValue(percent);
    }
    slider_->setEnabled(morph_.ready());
    readout_->setText(percentText(percent));
}

}  // namespace tarnwell
