#pragma once

class QWidget;

namespace tarnwell {

// What assistive technologies see of a control that has a control menu
// (ControlMenus): besides its own actions (Press, Toggle, SetFocus) a
// "ShowMenu" action that opens the menu, as right-click and the
// context-menu key do.
//
// Qt's own interfaces for buttons and text fields offer no such action and
// cannot be extended, so buttons and text fields with a control menu get
// interfaces of ours that behave as Qt's do (role, name, state, Press and
// Toggle, text and editable text) and add it. Sliders of the panel have
// their own interface, which offers it too.

// Installs the interface factory, once. Call before attaching menus.
void installControlAccessibility();
// After `widget` got its control menu: an interface made for it before (while
// assistive technologies were listening) is replaced by one that offers the
// menu.
void offerAccessibleMenu(QWidget* widget);

}  // namespace tarnwell
