#include "ui/theme.hpp"

namespace tarnwell {

namespace {

QFont scaled(QFont font, double factor) {
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * factor);
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(static_cast<int>(font.pixelSize() * factor));
    }
    return font;
}

}  // namespace

QFont captionFont(QFont base) {
    return scaled(std::move(base), 0.85);
}

QFont headlineFont(QFont base) {
    base.setBold(true);
    return scaled(std::move(base), 1.1);
}

QFont largeTitleFont(QFont base) {
    base.setBold(false);
    return scaled(std::move(base), 2.2);
}

}  // namespace tarnwell
