#pragma once

namespace tarnwell {

class ContentView;
class ControlMenus;
class PhysicsView;
struct PanelActions;

// Gives every control of the panel that sends its control menu: the 42
// sliders and their value fields, the mod buttons ("multiplication"), every
// copy of the six mode switches, Reset DAC on each unit page, calibrate and
// dice, and on the physics page each ball's amplitude, frequency and phase
// sliders, magnet strength and Start/Stop, and Dice. `physics` may be null.
void attachPanelControls(ControlMenus& menus, ContentView& content, PhysicsView* physics,
                         const PanelActions& actions);

}  // namespace tarnwell
