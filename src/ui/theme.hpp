#pragma once

#include <QColor>
#include <QFont>

namespace tarnwell {

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

}  // namespace tarnwell
