#include "core/model.hpp"

#include "core/control/controller_input.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/panel/nrpn_names.hpp"

namespace tarnwell {

Model::Model(std::shared_ptr<MidiService> midiService, MainQueue& queue, RandomSource& random,
             FileChooser* chooser, Presets::Folder documentsFolder, const TimeSource& clock)
    : midi_(MidiManager::create(std::move(midiService), queue)),
      random_(random),
      controller_(*midi_, queue, random),
      presets_(controller_, chooser, std::move(documentsFolder)),
      physics_(*midi_),
      morph_(controller_, presets_, locks_, queue) {
    midi_->setControlOf(&controlOfNumber);
    controller_.setChangeObserver(this);
    presets_.setChangeObserver(this);
    physics_.setChangeObserver(this);
    controllerInput_ = std::make_unique<ControllerInput>(*this, queue, clock);
}

Model::~Model() = default;

PanelState Model::currentState() const {
    PanelState state;
    state.sliderValues = controller_.sliderValues();
    state.modButtonPressed = controller_.modButtonPressed();
    state.linkedTabs = controller_.linkedTabs();
    for (const ModeToggleInfo& info : kModeToggles) {
        state.modeToggles[static_cast<std::size_t>(info.toggle)] =
            controller_.modeToggle(info.toggle);
    }
    state.balls = physics_.balls();
    state.presets = presets_.sharedPresets();
    state.presetsGeneration = presets_.generation();
    state.selectedPresetIndex = presets_.selectedPresetIndex();
    return state;
}

void Model::setMutateOptions(MutateOptions options) {
    options.percent = clampedMutatePercent(options.percent);
    if (options != mutateOptions_) {
        mutateOptions_ = options;
        mutateOptionsChanged.emit();
    }
}

std::size_t Model::mutate() {
    return tarnwell::mutate(controller_, locks_, random_, mutateOptions_);
}

void Model::willChange(std::string_view action) {
    if (history_.wantsStep()) {
        history_.record(std::string(action), currentState());
    }
}

void Model::undo() {
    if (auto state = history_.undo(currentState())) {
        restore(*state);
    }
}

void Model::redo() {
    if (auto state = history_.redo(currentState())) {
        restore(*state);
    }
}

ResumeState Model::resumeState() const {
    const PanelState now = currentState();
    ResumeState state{now.sliderValues, now.modButtonPressed,   now.linkedTabs, now.modeToggles,
                      now.balls,        now.selectedPresetIndex};
    for (Ball& ball : state.balls) {
        ball.isRunning = false;
    }
    return state;
}

void Model::resume(const ResumeState& state) {
    presets_.showSelection(state.selectedPresetIndex);
    controller_.loadWithoutSending(state.sliderValues, state.modButtonPressed, state.linkedTabs,
                                   state.modeToggles);
    std::vector<Ball> balls = state.balls;
    for (Ball& ball : balls) {
        ball.isRunning = false;
    }
    physics_.restoreSettings(balls);
}

void Model::restore(const PanelState& state) {
    presets_.restoreState(state.presets, state.presetsGeneration, state.selectedPresetIndex);
    controller_.restoreState(state.sliderValues, state.modButtonPressed, state.linkedTabs,
                             state.modeToggles);
    physics_.restoreSettings(state.balls);
}

}  // namespace tarnwell
