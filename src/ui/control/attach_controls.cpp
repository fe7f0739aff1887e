#include "ui/control/attach_controls.hpp"

#include <QPushButton>

#include "core/control/controls.hpp"
#include "core/panel/parameters.hpp"
#include "ui/commands.hpp"
#include "ui/control/control_menu.hpp"
#include "ui/panel/action_button.hpp"
#include "ui/panel/content_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/unit_page_view.hpp"
#include "ui/panel/value_field.hpp"
#include "ui/physics/ball_page_view.hpp"
#include "ui/physics/physics_view.hpp"

namespace tarnwell {

namespace {

void attachBank(ControlMenus& menus, MidiSliderView* bank, std::int64_t start, std::int64_t end) {
    for (std::int64_t index = start; index < end; ++index) {
        const ControlId control{ControlKind::parameter, static_cast<std::uint8_t>(index)};
        menus.attach(bank->sliderFor(index), control);
        menus.attach(bank->fieldFor(index), control);
    }
}

// The ball controls a knob can drive, as the page's sliders.
constexpr std::pair<BallSlider, ControlKind> kBallSliders[] = {
    {BallSlider::ampX, ControlKind::ballAmpX},
    {BallSlider::ampY, ControlKind::ballAmpY},
    {BallSlider::freqX, ControlKind::ballFreqX},
    {BallSlider::freqY, ControlKind::ballFreqY},
    {BallSlider::phaseX, ControlKind::ballPhaseX},
    {BallSlider::phaseY, ControlKind::ballPhaseY},
    {BallSlider::magnetStrength, ControlKind::ballMagnetStrength},
};

}  // namespace

void attachPanelControls(ControlMenus& menus, ContentView& content, PhysicsView* physics,
                         const PanelActions& actions) {
    for (int unit = 0; unit < kUnitCount; ++unit) {
        UnitPageView* page = content.unitPage(unit);
        const std::int64_t start = static_cast<std::int64_t>(unit) * kSlotsPerUnit;
        attachBank(menus, page->bank(), start, start + kSlotsPerUnit);
        menus.attach(page->multiplicationButton(),
                     {ControlKind::modButton, static_cast<std::uint8_t>(unit)});
        menus.attach(page->resetDacButton(), {ControlKind::resetDac, 0});
    }
    attachBank(menus, content.regenBank(), kUnitCount * kSlotsPerUnit, kParameterCount);
    for (ModeToggleView* view : content.findChildren<ModeToggleView*>()) {
        menus.attach(view, {ControlKind::modeSwitch, static_cast<std::uint8_t>(view->toggle())});
    }
    for (ActionButton* button : content.findChildren<ActionButton*>()) {
        if (button->action() == actions.dice) {
            menus.attach(button, {ControlKind::dice, 0});
        } else if (button->action() == actions.calibrate) {
            menus.attach(button, {ControlKind::calibrate, 0});
        }
    }
    if (physics == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(kLearnableBalls); ++i) {
        BallPageView* page = physics->ballPage(i);
        if (page == nullptr) {
            break;
        }
        const auto ball = static_cast<std::uint8_t>(i);
        for (const auto& [slider, kind] : kBallSliders) {
            menus.attach(page->slider(slider), {kind, ball});
        }
        menus.attach(page->runButton(), {ControlKind::ballRun, ball});
    }
    menus.attach(physics->diceButton(), {ControlKind::physicsDice, 0});
}

}  // namespace tarnwell
