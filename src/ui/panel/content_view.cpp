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

#include "core/midi/midi_manager.hpp"
#include "core/panel/controller.hpp"
#include "ui/app/qt_file_chooser.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/preset_list_model.hpp"
#include "ui/panel/unit_page_view.hpp"
#include "ui/physics/physics_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

constexpr int kTabWidth = 600;
constexpr int kTabHeight = 500;

}  // namespace

ContentView::ContentView(PanelEnvironment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)) {
    setObjectName("ContentView");
    auto manager = MidiManager::create(environment_.midiService, *environment_.queue);
    controller_ =
        std::make_unique<Controller>(std::move(manager), *environment_.queue, *environment_.random);
    FileChooser* chooser = environment_.fileChooser;
    if (chooser == nullptr) {
        ownFileChooser_ = std::make_unique<QtFileChooser>(this);
        chooser = ownFileChooser_.get();
    }
    controller_->setFileChooser(chooser);
    controller_->setDocumentsFolder(environment_.documentsFolder ? environment_.documentsFolder
                                                                 : &documentsFolder);

    auto* column = new QVBoxLayout(this);
    column->setAlignment(Qt::AlignHCenter);

    // 1-2: destination picker and connection status.
    auto* pickerRow = new QHBoxLayout;
    auto* pickerLabel = new QLabel("MIDI Output", this);
    destinationPicker_ = new QComboBox(this);
    destinationPicker_->setAccessibleName("MIDI Output");
    destinationPicker_->setMinimumWidth(260);
    destinationPicker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pickerLabel->setBuddy(destinationPicker_);
    pickerRow->addStretch();
    pickerRow->addWidget(pickerLabel);
    pickerRow->addWidget(destinationPicker_);
    pickerRow->addStretch();
    column->addLayout(pickerRow);
    connect(destinationPicker_, &QComboBox::activated, this,
            [this](int row) { controller_->chooseDestination(row); });

    status_ = new QLabel(this);
    status_->setObjectName("connectionStatus");
    status_->setFont(headlineFont(status_->font()));
    status_->setAlignment(Qt::AlignCenter);
    column->addWidget(status_);

    // 3: the tabs.
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("tabs");
    for (int unit = 0; unit < kUnitCount; ++unit) {
        auto* page = new UnitPageView(*controller_, unit, tabs_);
        unitPages_.push_back(page);
        tabs_->addTab(page, QString("Voice %1").arg(unit + 1));
    }
    tabs_->addTab(buildRegenPage(), "Regen");
    QWidget* physics = environment_.makePhysicsPage
                           ? environment_.makePhysicsPage(*controller_, tabs_)
                           : new PhysicsView(controller_->sharedMidiManager(), tabs_);
    tabs_->addTab(physics, "Physics");
    // The physics page is larger than the other pages; the container grows
    // to show it whole rather than clipping it.
    const int physicsHeight =
        physics->sizeHint().height() + tabs_->tabBar()->sizeHint().height() + 24;
    tabs_->setFixedSize(std::max(kTabWidth, physics->sizeHint().width() + 24),
                        std::max(kTabHeight, physicsHeight));
    column->addWidget(tabs_, 0, Qt::AlignHCenter);

    // 4-12: presets, randomise, global switches, import and export.
    column->addWidget(buildBottomControls());

    notice_ = new QLabel(this);
    notice_->setObjectName("notice");
    notice_->setWordWrap(true);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->setMinimumHeight(notice_->fontMetrics().height() * 2);
    column->addWidget(notice_);

    showDestinations();
    showPresetSelection();
    connections_.push_back(controller_->midiManager().changed.connect(
        [this](MidiManagerChange) { showDestinations(); }));
    connections_.push_back(controller_->changed.connect([this](ControllerChange change) {
        if (change.field == ControllerField::selectedDestinationIndex) {
            showDestinations();
        } else if (change.field == ControllerField::presets ||
                   change.field == ControllerField::selectedPresetIndex) {
            showPresetSelection();
        }
    }));
    connections_.push_back(
        controller_->noticed.connect([this](const Notice& notice) { showNotice(notice); }));
}

ContentView::~ContentView() {
    // The child views refer to the controller: they go before it does.
    connections_.clear();
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

QWidget* ContentView::buildRegenPage() {
    auto* page = new QWidget(tabs_);
    auto* layout = new QVBoxLayout(page);
    layout->addSpacing(20);
    const auto end = std::min<std::int64_t>(
        kParameterCount, static_cast<std::int64_t>(controller_->sliderValues().size()));
    regenBank_ = new MidiSliderView(
        *controller_, kUnitCount * kSlotsPerUnit, end,
        [this](double value, std::int64_t n) { controller_->sendFromTab(n, kRegenGroup, value); },
        page);
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
    grid->setHorizontalSpacing(12);

    auto* calibrate = addButton("calibrate", [this] { controller_->randomizeSliders(); });
    auto* presetLabel = new QLabel("Select Preset", box);
    presetPicker_ = new QComboBox(box);
    presetPicker_->setAccessibleName("Select Preset");
    presetPicker_->setModel(new PresetListModel(*controller_, presetPicker_));
    presetPicker_->setFixedWidth(300);
    presetPicker_->setMaxVisibleItems(20);
    presetLabel->setBuddy(presetPicker_);
    connect(presetPicker_, &QComboBox::activated, this,
            [this](int row) { controller_->setSelectedPresetIndex(row); });
    auto* save = addButton("Save Preset",
                           [this] { controller_->savePreset(controller_->selectedPresetIndex()); });
    auto* dice = addButton("dice", [this] { controller_->randomizeSliders(); });

    grid->addWidget(calibrate, 0, 0, Qt::AlignLeft);
    auto* presetRow = new QHBoxLayout;
    presetRow->setSpacing(8);
    presetRow->addWidget(presetLabel);
    presetRow->addWidget(presetPicker_);
    presetRow->addWidget(save);
    grid->addLayout(presetRow, 0, 1, Qt::AlignHCenter);
    grid->addWidget(dice, 0, 2, Qt::AlignRight);

    auto* toggles = new QVBoxLayout;
    toggles->addWidget(new ModeToggleView(*controller_, ModeToggle::voiceModeToggle, box));
    toggles->addWidget(new ModeToggleView(*controller_, ModeToggle::DrumModeToggle, box));
    toggles->addWidget(new ModeToggleView(*controller_, ModeToggle::midimodeToggle, box));
    grid->addLayout(toggles, 1, 0, 1, 2, Qt::AlignLeft);

    auto* files = new QHBoxLayout;
    files->setSpacing(8);
    files->addWidget(addButton("Import Presets", [this] { controller_->importPresets(); }));
    files->addWidget(addButton("Export Presets", [this] { controller_->exportPresets(); }));
    grid->addLayout(files, 1, 2, Qt::AlignRight | Qt::AlignBottom);
    return box;
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!pickerShown_) {
        pickerShown_ = true;
        controller_->destinationPickerAppeared();
    }
}

void ContentView::showDestinations() {
    const MidiManager& manager = controller_->midiManager();
    const auto& names = manager.destinations();
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
        const auto selected = controller_->selectedDestinationIndex();
        destinationPicker_->setCurrentIndex(
            selected >= 0 && selected < static_cast<std::int64_t>(names.size())
                ? static_cast<int>(selected)
                : -1);
    }
    status_->setText(QString::fromStdString(connectionStatusText(manager)));
}

void ContentView::showPresetSelection() {
    const QSignalBlocker blocker(presetPicker_);
    const auto selected = controller_->selectedPresetIndex();
    const bool inList = selected >= 0 && selected < presetPicker_->count();
    presetPicker_->setCurrentIndex(inList ? static_cast<int>(selected) : -1);
}

void ContentView::showNotice(const Notice& notice) {
    notice_->setText(QString::fromStdString(notice.text));
    notice_->setStyleSheet(notice.isError ? "color: #b3261e;" : "color: palette(window-text);");
}

}  // namespace tarnwell
