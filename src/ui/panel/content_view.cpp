#include "ui/panel/content_view.hpp"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/model.hpp"
#include "ui/control/controller_input_picker.hpp"
#include "ui/panel/action_button.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/picker.hpp"
#include "ui/panel/preset_list_model.hpp"
#include "ui/panel/unit_page_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

ContentView::ContentView(Model& model, const PanelActions& actions, QWidget* physicsPage,
                         QWidget* parent)
    : QWidget(parent), model_(model), actions_(actions) {
    shownModulation_.fill(-1);
    setObjectName("ContentView");
    Controller& controller = model_.controller();
    Presets& presets = model_.presets();

    auto* column = new QVBoxLayout(this);
    column->setAlignment(Qt::AlignHCenter);

    // Where the panel sends, and whether it can.
    auto* pickerRow = new QHBoxLayout;
    auto* pickerLabel = new QLabel(tr("MIDI Output"), this);
    destinationPicker_ = new Picker(this);
    destinationPicker_->setAccessibleName(tr("MIDI Output"));
    destinationPicker_->setMinimumWidth(theme::metrics::kDestinationPickerWidth);
    destinationPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pickerLabel->setBuddy(destinationPicker_);
    // Where a hardware controller's knobs come from, beside where the panel
    // sends.
    auto* inputLabel = new QLabel(tr("Controller Input"), this);
    inputPicker_ = new ControllerInputPicker(model_.controllerInput(), this);
    inputLabel->setBuddy(inputPicker_);
    pickerRow->addStretch();
    pickerRow->addWidget(pickerLabel);
    pickerRow->addWidget(destinationPicker_);
    pickerRow->addSpacing(theme::metrics::kColumnSpacing);
    pickerRow->addWidget(inputLabel);
    pickerRow->addWidget(inputPicker_);
    pickerRow->addStretch();
    column->addLayout(pickerRow);
    connect(destinationPicker_, &QComboBox::activated, this,
            [&controller](int row) { controller.chooseDestination(row); });

    status_ = new QLabel(this);
    status_->setObjectName("connectionStatus");
    status_->setTextFormat(Qt::PlainText);  // a port may be named anything
    status_->setFont(theme::headlineFont(status_->font()));
    status_->setAlignment(Qt::AlignCenter);
    column->addWidget(status_);

    // The units, Regen and Physics.
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("tabs");
    for (int unit = 0; unit < kUnitCount; ++unit) {
        auto* page = new UnitPageView(controller, model_.locks(), unit, tabs_);
        unitPages_.push_back(page);
        tabs_->addTab(page, tr("Voice %1").arg(unit + 1));
    }
    tabs_->addTab(buildRegenPage(), tr("Regen"));
    QWidget* physics = physicsPage ? physicsPage : new QWidget;
    tabs_->addTab(physics, tr("Physics"));
    // The physics page is larger than the other pages; the container grows
    // to show it whole rather than clipping it.
    const int physicsHeight = physics->sizeHint().height() + tabs_->tabBar()->sizeHint().height() +
                              theme::metrics::kTabFrame;
    tabs_->setFixedSize(std::max(theme::metrics::kTabWidth,
                                 physics->sizeHint().width() + theme::metrics::kTabFrame),
                        std::max(theme::metrics::kTabHeight, physicsHeight));
    column->addWidget(tabs_, 0, Qt::AlignHCenter);

    // Presets, randomise, the global switches, import and export.
    column->addWidget(buildBottomControls());

    notice_ = new QLabel(this);
    notice_->setObjectName("notice");
    notice_->setWordWrap(true);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setMinimumHeight(notice_->fontMetrics().height() * 2);
    column->addWidget(notice_);

    showDestinations();
    showPresetSelection();
    connections_.push_back(controller.changed.connect([this](ControllerChange change) {
        if (change.field == ControllerField::destinations ||
            change.field == ControllerField::selectedDestinationIndex) {
            showDestinations();
        }
    }));
    connections_.push_back(
        presets.changed.connect([this](PresetsEvent) { showPresetSelection(); }));
    connections_.push_back(
        presets.noticed.connect([this](const Notice& notice) { showNotice(notice); }));
    connections_.push_back(model_.physics().changed.connect([this](PhysicsChange change) {
        // The markers follow the balls ten times a second: enough to
        // see where the synth is, at a tenth of the cost of every tick.
        // A start or stop shows at once.
        const auto now = std::chrono::steady_clock::now();
        if (change == PhysicsChange::tick &&
            (now - modulationShownAt_ < kModulationInterval || !isVisible())) {
            return;
        }
        modulationShownAt_ = now;
        showModulation();
    }));
    theme::stylePanelButtons(this);
}

ContentView::~ContentView() {
    // The child views refer to the controller: they go before it does.
    connections_.clear();
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

QWidget* ContentView::buildRegenPage() {
    auto* page = new QWidget(tabs_);
    auto* layout = new QVBoxLayout(page);
    layout->addSpacing(theme::metrics::kPageTopSpace);
    regenBank_ = new MidiSliderView(model_.controller(), model_.locks(), kUnitCount * kSlotsPerUnit,
                                    kParameterCount, page);
    layout->addWidget(regenBank_);
    layout->addStretch();
    return page;
}

QWidget* ContentView::buildBottomControls() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(theme::metrics::kColumnSpacing);

    Controller& controller = model_.controller();
    Presets& presets = model_.presets();
    auto* presetLabel = new QLabel(tr("Select Preset"), box);
    presetPicker_ = new Picker(box);
    presetPicker_->setAccessibleName(tr("Select Preset"));
    presetPicker_->setModel(new PresetListModel(presets, presetPicker_));
    presetPicker_->setFixedWidth(theme::metrics::kPresetPickerWidth);
    presetPicker_->setMaxVisibleItems(20);
    presetLabel->setBuddy(presetPicker_);
    connect(presetPicker_, &QComboBox::activated, this,
            [&presets](int row) { presets.setSelectedPresetIndex(row); });
    // Right-click or the context-menu key on the picker: what concerns the
    // selected preset.
    presetPicker_->setContextMenuPolicy(Qt::ActionsContextMenu);
    presetPicker_->addActions(
        {actions_.renamePreset, actions_.savePresetAs, actions_.revertToSaved, actions_.compare});

    grid->addWidget(new ActionButton(actions_.calibrate, tr("calibrate"), box), 0, 0,
                    Qt::AlignLeft);
    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(theme::metrics::kRowSpacing);
    presetRow->addWidget(presetLabel);
    presetRow->addWidget(presetPicker_);
    presetRow->addWidget(new ActionButton(actions_.savePreset, tr("Save Preset"), box));
    grid->addLayout(presetRow, 0, 1, Qt::AlignHCenter);
    // Under the picker: what else concerns the selected preset.
    auto* presetTools = new QHBoxLayout;
    presetTools->setSpacing(theme::metrics::kRowSpacing);
    presetTools->addWidget(new ActionButton(actions_.savePresetAs, tr("Save As..."), box));
    auto* compare = new ActionButton(actions_.compare, tr("Compare"), box);
    compare->setObjectName("compare");
    presetTools->addWidget(compare);
    grid->addLayout(presetTools, 1, 1, Qt::AlignHCenter | Qt::AlignTop);
    grid->addWidget(new ActionButton(actions_.dice, tr("dice"), box), 0, 2, Qt::AlignRight);

    auto* toggles = new QVBoxLayout;
    for (const ModeToggle toggle :
         {ModeToggle::voiceModeToggle, ModeToggle::drumModeToggle, ModeToggle::midiModeToggle}) {
        toggles->addWidget(new ModeToggleView(controller, toggle, box));
    }
    grid->addLayout(toggles, 1, 0, Qt::AlignLeft);

    // Under dice: the graded Mutate, by its reach.
    auto* mutate = new QHBoxLayout;
    mutate->setSpacing(theme::metrics::kRowSpacing);
    mutateAmount_ = new QSpinBox(box);
    mutateAmount_->setObjectName("mutateAmount");
    mutateAmount_->setRange(kMinMutatePercent, kMaxMutatePercent);
    mutateAmount_->setPrefix(tr("\u00b1"));
    mutateAmount_->setSuffix(tr(" %"));
    mutateAmount_->setAccessibleName(tr("Mutate amount"));
    mutateAmount_->setToolTip(
        tr("How far Mutate may move each parameter, in percent of its range, either way"));
    mutateAmount_->setValue(model_.mutateOptions().percent);
    connect(mutateAmount_, &QSpinBox::valueChanged, this, [this](int percent) {
        MutateOptions options = model_.mutateOptions();
        options.percent = percent;
        model_.setMutateOptions(options);
    });
    connections_.push_back(model_.mutateOptionsChanged.connect([this] {
        const QSignalBlocker blocker(mutateAmount_);
        mutateAmount_->setValue(model_.mutateOptions().percent);
    }));
    mutate->addStretch();
    mutate->addWidget(mutateAmount_);
    mutate->addWidget(new ActionButton(actions_.mutate, tr("Mutate"), box));
    auto* files = new QHBoxLayout;
    files->setSpacing(theme::metrics::kRowSpacing);
    files->addWidget(new ActionButton(actions_.importPresets, tr("Import Presets"), box));
    files->addWidget(new ActionButton(actions_.exportPresets, tr("Export Presets"), box));
    auto* right = new QVBoxLayout;
    right->addLayout(mutate);
    right->addStretch();
    right->addLayout(files);
    grid->addLayout(right, 1, 2, Qt::AlignRight);
    return box;
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!pickerShown_) {
        pickerShown_ = true;
        model_.controller().destinationPickerAppeared();
    }
}

void ContentView::showDestinations() {
    const Controller& controller = model_.controller();
    const auto& names = controller.destinationNames();
    {
        const QSignalBlocker blocker(destinationPicker_);
        bool same = destinationPicker_->count() == static_cast<int>(names.size());
        for (int i = 0; same && i < destinationPicker_->count(); ++i) {
            same =
                destinationPicker_->itemText(i).toStdString() == names[static_cast<std::size_t>(i)];
        }
        if (!same) {
            destinationPicker_->clear();
            for (const auto& name : names) {
                destinationPicker_->addItem(QString::fromStdString(name));
            }
        }
        // A row shows as chosen only while the panel is connected to it.
        destinationPicker_->setCurrentIndex(static_cast<int>(controller.connectedRow()));
    }
    status_->setText(QString::fromStdString(controller.connectionStatus()));
}

void ContentView::showPresetSelection() {
    const QSignalBlocker blocker(presetPicker_);
    const auto selected = model_.presets().selectedPresetIndex();
    const bool inList = selected >= 0 && selected < presetPicker_->count();
    presetPicker_->setCurrentIndex(inList ? static_cast<int>(selected) : -1);
}

void ContentView::showModulation() {
    std::array<std::int64_t, kParameterCount> driven{};
    driven.fill(-1);
    for (const Ball& ball : model_.physics().balls()) {
        const std::int64_t index = ball.assignedParam - 1;
        if (ball.isRunning && index >= 0 && index < static_cast<std::int64_t>(driven.size())) {
            driven[static_cast<std::size_t>(index)] = PhysicsSimulation::sentValue(ball);
        }
    }
    for (std::size_t i = 0; i < driven.size(); ++i) {
        if (driven[i] == shownModulation_[i]) {
            continue;
        }
        shownModulation_[i] = driven[i];
        const auto index = static_cast<std::int64_t>(i);
        MidiSliderView* bank =
            index < kUnitCount * kSlotsPerUnit ? unitPages_[i / kSlotsPerUnit]->bank() : regenBank_;
        bank->showModulation(
            index, driven[i] >= 0 ? std::optional<std::int64_t>(driven[i]) : std::nullopt);
    }
}

void ContentView::showNotice(const Notice& notice, NoticePlacement placement) {
    QString text = QString::fromStdString(notice.text);
    bool isError = notice.isError;
    if (placement == NoticePlacement::below && !notice_->text().isEmpty()) {
        text = notice_->text() + QLatin1Char('\n') + text;
        isError = isError || noticeIsError_;
    }
    noticeIsError_ = isError;
    notice_->setText(text);
    QPalette colours = palette();
    if (isError) {
        colours.setColor(QPalette::WindowText,
                         theme::errorColour(window()->palette().color(QPalette::Window)));
    }
    notice_->setPalette(colours);
}

}  // namespace tarnwell
