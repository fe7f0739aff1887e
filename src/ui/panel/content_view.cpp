#include "ui/panel/content_view.hpp"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/model.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/picker.hpp"
#include "ui/panel/preset_list_model.hpp"
#include "ui/panel/unit_page_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

ContentView::ContentView(Model& model, QWidget* physicsPage, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName("ContentView");
    Controller& controller = model_.controller();
    Presets& presets = model_.presets();

    auto* column = new QVBoxLayout(this);
    column->setAlignment(Qt::AlignHCenter);

    // Where the panel sends, and whether it can.
    auto* pickerRow = new QHBoxLayout;
    auto* pickerLabel = new QLabel("MIDI Output", this);
    destinationPicker_ = new Picker(this);
    destinationPicker_->setAccessibleName("MIDI Output");
    destinationPicker_->setMinimumWidth(theme::metrics::kDestinationPickerWidth);
    destinationPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pickerLabel->setBuddy(destinationPicker_);
    pickerRow->addStretch();
    pickerRow->addWidget(pickerLabel);
    pickerRow->addWidget(destinationPicker_);
    pickerRow->addStretch();
    column->addLayout(pickerRow);
    connect(destinationPicker_, &QComboBox::activated, this,
            [&controller](int row) { controller.chooseDestination(row); });

    status_ = new QLabel(this);
    status_->setObjectName("connectionStatus");
    status_->setFont(theme::headlineFont(status_->font()));
    status_->setAlignment(Qt::AlignCenter);
    column->addWidget(status_);

    // The units, Regen and Physics.
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("tabs");
    for (int unit = 0; unit < kUnitCount; ++unit) {
        auto* page = new UnitPageView(controller, unit, tabs_);
        unitPages_.push_back(page);
        tabs_->addTab(page, QString("Voice %1").arg(unit + 1));
    }
    tabs_->addTab(buildRegenPage(), "Regen");
    QWidget* physics = physicsPage ? physicsPage : new QWidget;
    tabs_->addTab(physics, "Physics");
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
    regenBank_ =
        new MidiSliderView(model_.controller(), kUnitCount * kSlotsPerUnit, kParameterCount, page);
    layout->addWidget(regenBank_);
    layout->addStretch();
    return page;
}

QPushButton* ContentView::addButton(const QString& text, const std::function<void()>& action) {
    auto* button = new QPushButton(text, this);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, action);
    return button;
}

QWidget* ContentView::buildBottomControls() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(theme::metrics::kColumnSpacing);

    Controller& controller = model_.controller();
    Presets& presets = model_.presets();
    auto* calibrate =
        addButton("calibrate", [&controller] { controller.randomizeSliders("calibrate"); });
    auto* presetLabel = new QLabel("Select Preset", box);
    presetPicker_ = new Picker(box);
    presetPicker_->setAccessibleName("Select Preset");
    presetPicker_->setModel(new PresetListModel(presets, presetPicker_));
    presetPicker_->setFixedWidth(theme::metrics::kPresetPickerWidth);
    presetPicker_->setMaxVisibleItems(20);
    presetLabel->setBuddy(presetPicker_);
    connect(presetPicker_, &QComboBox::activated, this,
            [&presets](int row) { presets.setSelectedPresetIndex(row); });
    auto* save =
        addButton("Save Preset", [&presets] { presets.savePreset(presets.selectedPresetIndex()); });
    auto* dice = addButton("dice", [&controller] { controller.randomizeSliders("dice"); });

    grid->addWidget(calibrate, 0, 0, Qt::AlignLeft);
    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(theme::metrics::kRowSpacing);
    presetRow->addWidget(presetLabel);
    presetRow->addWidget(presetPicker_);
    presetRow->addWidget(save);
    grid->addLayout(presetRow, 0, 1, Qt::AlignHCenter);
    grid->addWidget(dice, 0, 2, Qt::AlignRight);

    auto* toggles = new QVBoxLayout;
    for (const ModeToggle toggle :
         {ModeToggle::voiceModeToggle, ModeToggle::drumModeToggle, ModeToggle::midiModeToggle}) {
        toggles->addWidget(new ModeToggleView(controller, toggle, box));
    }
    grid->addLayout(toggles, 1, 0, 1, 2, Qt::AlignLeft);

    auto* files = new QHBoxLayout;
    files->setSpacing(theme::metrics::kRowSpacing);
    files->addWidget(addButton("Import Presets", [&presets] { presets.importPresets(); }));
    files->addWidget(addButton("Export Presets", [&presets] { presets.exportPresets(); }));
    grid->addLayout(files, 1, 2, Qt::AlignRight | Qt::AlignBottom);
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

void ContentView::showNotice(const Notice& notice) {
    notice_->setText(QString::fromStdString(notice.text));
    QPalette colours = palette();
    if (notice.isError) {
        colours.setColor(QPalette::WindowText,
                         theme::errorColour(window()->palette().color(QPalette::Window)));
    }
    notice_->setPalette(colours);
}

}  // namespace tarnwell
