#include "ui/theme.hpp"

#include <QPushButton>

namespace tarnwell::theme {

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

bool isDark(const QColor& colour) {
    return colour.lightness() < 128;
}

QColor groundColour(const QColor& window) {
    if (isDark(window)) {
        return window;
    }
    return {(window.red() + 255) / 2, (window.green() + 255) / 2, (window.blue() + 255) / 2};
}

QColor errorColour(const QColor& ground) {
    return isDark(ground) ? QColor(0xff, 0x8a, 0x80) : kErrorRed;
}

QColor ballColor(BallColor color) {
    switch (color) {
        case BallColor::red:
            return {0xff, 0x3b, 0x30};
        case BallColor::blue:
            return {0x00, 0x7a, 0xff};
        case BallColor::green:
            return kGroupedGreen;
        case BallColor::orange:
            return {0xff, 0x95, 0x00};
        case BallColor::purple:
            return {0xaf, 0x52, 0xde};
    }
    return Qt::black;
}

QString panelStyleSheet() {
    return QString(
               "QPushButton#multiplication { background-color: transparent;"
               " border: 1px solid palette(mid); border-radius: 10px; padding: 5px 14px; }"
               "QPushButton#multiplication:checked { background-color: %1; color: black; }"
               "QPushButton#resetDAC { color: white; background-color: %2; border: none;"
               " border-radius: 10px; padding: 5px 18px; }"
               "QPushButton#resetDAC:pressed { background-color: black; }"
               "QPushButton#LinkButtonView { color: white; background-color: %2; border: none;"
               " border-radius: 10px; padding: 5px 18px; font-weight: bold; }"
               "QPushButton#LinkButtonView:checked { color: %3; }"
               "QPushButton#multiplication:focus, QPushButton#resetDAC:focus,"
               " QPushButton#LinkButtonView:focus { border: 2px solid palette(highlight); }")
        .arg(kModOnYellow.name(), kDarkButtonFace.name(), kGroupedGreen.name());
}

void stylePanelButtons(QWidget* root) {
    const QString sheet = panelStyleSheet();
    for (QPushButton* button : root->findChildren<QPushButton*>()) {
        const QString name = button->objectName();
        if (name == "multiplication" || name == "resetDAC" || name == "LinkButtonView") {
            button->setStyleSheet(sheet);
        }
    }
}

}  // namespace tarnwell::theme
