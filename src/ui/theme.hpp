#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

class QWidget;

#include "core/physics/ball.hpp"

namespace tarnwell::theme {

// The panel's text styles, derived from the platform's default font so they
// follow the user's font size and the screen's scale.
QFont captionFont(QFont base);
QFont headlineFont(QFont base);
QFont largeTitleFont(QFont base);

// Buttons whose text is drawn in a light colour sit on this dark face so the
// text stays readable on the panel's light background.
inline const QColor kDarkButtonFace{0x3a, 0x3d, 0x42};
inline const QColor kGroupedGreen{0x34, 0xc7, 0x59};
inline const QColor kModOnYellow{0xff, 0xd6, 0x0a};
inline const QColor kErrorRed{0xb3, 0x26, 0x1e};
inline const QColor kFrameGray{0x8e, 0x8e, 0x93};
// The status bar's MIDI activity: its light while sequences go out and while
// none do, and the load bar's fill while more is sent than a DIN link
// carries.
inline const QColor kActivityLit = kGroupedGreen;
inline const QColor kActivityIdle = kFrameGray;
inline const QColor kOverBudgetRed{0xff, 0x3b, 0x30};
// The start-up screen and the About window: dark text on white.
inline const QColor kArtGround{Qt::white};
inline const QColor kArtText{0x1d, 0x1d, 0x1f};

// The controller window's ground from the palette's window colour: under white
// at half opacity for a light palette; a dark one keeps its colour, so light
// text keeps its contrast.
[[nodiscard]] QColor groundColour(const QColor& window);
// The notice line's colour for a failure, readable on `ground`.
[[nodiscard]] QColor errorColour(const QColor& ground);
[[nodiscard]] bool isDark(const QColor& colour);

// The relative luminance of an sRGB colour (alpha ignored) and the contrast
// ratio of two colours as WCAG 2.x defines them: 1 for the same colour, 21
// for black on white.
[[nodiscard]] double relativeLuminance(const QColor& colour);
[[nodiscard]] double contrastRatio(const QColor& a, const QColor& b);

// A dark desktop palette: the screenshots show the panel under it, and the
// contrast tests measure the panel under it.
[[nodiscard]] QPalette darkPalette();

// The colour of a control's outline under `palette` (its current colour
// group): the window text mixed into the window colour just far enough to
// stand out by more than 3:1 from every ground a control sits on there (the
// window, the panel's ground, a tab page, a text field).
[[nodiscard]] QColor outlineColour(const QPalette& palette);

// Installs the application's style: the desktop's own, with the outlines of
// check boxes, buttons, pickers, fields, sliders, spin boxes and tabs drawn
// in outlineColour where that style is Fusion (which otherwise darkens the
// window colour a little: too faint on a light window, invisible on a dark
// one). Other styles draw their own outlines. Call once a QApplication
// exists, before the windows are shown; calling it again does nothing.
void installStyle();

// The fill of a ball's disc.
[[nodiscard]] QColor ballColor(BallColor color);

// The style sheet of the controller window's own buttons: "multiplication",
// "Reset DAC" and "Group"/"Ungroup", each styled by its own state (checked,
// pressed, focused) rather than restyled by code.
// Their edges take the application palette's outline colour.
[[nodiscard]] QString panelStyleSheet();
// Sets that sheet on each of those buttons under `root`, found by their object
// names, and on nothing else. A sheet on `root` itself would style every widget
// under it through the sheet engine, which keeps a set of rules per widget:
// about 4.5 MB of heap for the panel's several hundred widgets.
void stylePanelButtons(QWidget* root);

// Layout metrics of the controller window, in device-independent pixels.
namespace metrics {
inline constexpr int kTabWidth = 600;
inline constexpr int kTabHeight = 500;
// Room around a page in the tab container beyond the page's own size.
inline constexpr int kTabFrame = 24;
inline constexpr int kPageTopSpace = 20;
inline constexpr int kPageBottomSpace = 10;
inline constexpr int kDestinationPickerWidth = 260;
inline constexpr int kPresetPickerWidth = 300;
inline constexpr int kRowSpacing = 8;
inline constexpr int kColumnSpacing = 12;
inline constexpr int kSliderCellHeight = 150;
inline constexpr int kSliderWidth = 150;
inline constexpr int kSliderColumnSpacing = 16;
inline constexpr int kLabelToSlider = 5;

// The physics page: the ball area on the left, the ball tabs and Dice in a
// column on the right, lowered to sit beside the middle of the area.
inline constexpr int kPhysicsPageSpacing = 40;
inline constexpr int kPhysicsColumnSpacing = 10;
inline constexpr int kPhysicsControlsTopSpace = 120;
inline constexpr int kBallTabsWidth = 430;
inline constexpr int kBallTabsHeight = 160;
// The physics page's frame beyond the ball area.
inline constexpr int kPhysicsExtraWidth = 460;
inline constexpr int kPhysicsExtraHeight = 200;
// A ball's page: two columns of labelled sliders.
inline constexpr int kBallPageMargin = 10;
inline constexpr int kBallPageColumnGap = 20;
inline constexpr int kBallPageRowSpacing = 6;
inline constexpr int kBallLeftSliderWidth = 150;
inline constexpr int kBallRightSliderWidth = 140;
inline constexpr int kWavePickerWidth = 110;
inline constexpr int kRunButtonBelow = 8;
inline constexpr int kDividerSpace = 2;
// The ball area: a disc's diameter and the width of the square's frame line.
inline constexpr double kBallDiameter = 15.0;
inline constexpr double kBallFrameLineWidth = 2.0;

// The status bar's MIDI activity view.
inline constexpr int kActivityLightDiameter = 12;
inline constexpr int kActivityLoadWidth = 130;
// The MIDI monitor's margin around its lines and buttons.
inline constexpr int kMonitorMargin = 4;

// The About window.
inline constexpr int kAboutWidth = 480;
inline constexpr int kAboutHeight = 300;
}  // namespace metrics

}  // namespace tarnwell::theme
