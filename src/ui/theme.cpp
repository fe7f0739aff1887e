#include "ui/theme.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOption>

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

// Contrast, the outline colour and the style that draws with it.

namespace {

// How far an outline stands out from its ground: above the 3:1 that
// non-text contrast asks for, so that Fusion's lighter variants of the
// outline and antialiased edges still reach 3:1.
constexpr double kOutlineContrast = 3.4;

QColor mixed(const QColor& from, const QColor& to, float share) {
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * share,
                            a.greenF() + (b.greenF() - a.greenF()) * share,
                            a.blueF() + (b.blueF() - a.blueF()) * share);
}

// Fusion fills a tab page with the button colour made lighter and less
// saturated; the controls on the pages sit on that.
QColor tabPageColour(const QColor& button) {
    QColor colour = button.lighter(100 + std::max(1, (180 - qGray(button.rgb())) / 6));
    colour.setHsv(colour.hue(), static_cast<int>(colour.saturation() * 0.75), colour.value());
    return colour.lighter(104);
}

std::array<QColor, 4> groundsOf(const QPalette& palette, QPalette::ColorGroup group) {
    const QColor window = palette.color(group, QPalette::Window);
    return {window, groundColour(window), tabPageColour(palette.color(group, QPalette::Button)),
            palette.color(group, QPalette::Base)};
}

double weakestContrast(const QColor& colour, const std::array<QColor, 4>& grounds) {
    double weakest = 21.0;
    for (const QColor& ground : grounds) {
        weakest = std::min(weakest, contrastRatio(colour, ground));
    }
    return weakest;
}

QColor outlineColour(const QPalette& palette, QPalette::ColorGroup group) {
    const QColor window = palette.color(group, QPalette::Window);
    const QColor text = palette.color(group, QPalette::WindowText);
    const auto grounds = groundsOf(palette, group);
    constexpr int kSteps = 100;
    for (int step = 0; step <= kSteps; ++step) {
        const QColor colour = mixed(window, text, static_cast<float>(step) / kSteps);
        if (weakestContrast(colour, grounds) >= kOutlineContrast) {
            return colour;
        }
    }
    // Grounds too far apart (or text too close to them) for any mix: the
    // extreme that stands out most.
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return weakestContrast(black, grounds) >= weakestContrast(white, grounds) ? black : white;
}

bool standsOut(const QColor& colour, const QPalette& palette) {
    return weakestContrast(colour, groundsOf(palette, palette.currentColorGroup())) >=
           kOutlineContrast;
}

// The style the application draws with. Fusion derives every outline from
// the window colour it is handed (darkened by 40%, some then lightened by
// 10%); this style hands it, for the elements with an outline, a window
// colour from which that derivation gives outlineColour, and leaves
// everything else as the base style draws it. Fusion uses that colour for
// nothing else in those elements (tab shapes of a tab widget are filled from
// the button colour). Painting runs on the GUI thread only.
class OutlineStyle final : public QProxyStyle {
public:
    OutlineStyle() { setObjectName(kName); }

    static constexpr const char* kName = "tarnwell-outlines";

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto draw = [&](const QStyleOption* o) {
            QProxyStyle::drawPrimitive(element, o, painter, widget);
        };
        const bool outlined = element == PE_IndicatorCheckBox || element == PE_PanelButtonCommand ||
                              element == PE_FrameLineEdit || element == PE_FrameTabWidget ||
                              element == PE_FrameTabBarBase;
        if (!outlined ||
            !drawnAdjusted<QStyleOptionButton, QStyleOptionFrame, QStyleOptionTabWidgetFrame,
                           QStyleOptionTabBarBase, QStyleOptionToolButton>(option, draw)) {
            draw(option);
        }
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto draw = [&](const QStyleOption* o) {
            QProxyStyle::drawControl(element, o, painter, widget);
        };
        if (element != CE_TabBarTabShape || !drawnAdjusted<QStyleOptionTab>(option, draw)) {
            draw(option);
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        const auto draw = [&](const QStyleOptionComplex* o) {
            QProxyStyle::drawComplexControl(control, o, painter, widget);
        };
        const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control == CC_Slider && slider != nullptr && isDark(option->palette.window().color())) {
            drawSliderOnDark(*slider, painter, widget);
            return;
        }
        const bool outlined =
            control == CC_Slider || control == CC_ComboBox || control == CC_SpinBox;
        if (!outlined ||
            !drawnAdjusted<QStyleOptionSlider, QStyleOptionComboBox, QStyleOptionSpinBox>(option,
                                                                                          draw)) {
            draw(option);
        }
    }

private:
    // Fusion outlines the filled part of a slider's track in the darker of
    // its outline and a dark highlight: on a dark window that is the dark
    // highlight, which the ground swallows. The track gets the outline all
    // round, drawn over the track before the handle.
    void drawSliderOnDark(const QStyleOptionSlider& option, QPainter* painter,
                          const QWidget* widget) const {
        const auto draw = [&](const QStyleOptionComplex* o) {
            QProxyStyle::drawComplexControl(CC_Slider, o, painter, widget);
        };
        if (drawing_ || !baseIsFusion()) {
            draw(&option);
            return;
        }
        QStyleOptionSlider copy(option);
        copy.palette = adjusted(option.palette);
        drawing_ = true;
        copy.subControls = option.subControls & ~SC_SliderHandle;
        draw(&copy);
        if ((option.subControls & SC_SliderGroove) != 0) {
            const QRect groove = subControlRect(CC_Slider, &copy, SC_SliderGroove, widget);
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->translate(groove.left() + 0.5, groove.top() + 0.5);
            painter->setPen(outlineColour(option.palette, option.palette.currentColorGroup()));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRect(QPoint(0, 0), groove.size()).adjusted(1, 1, -2, -2), 1,
                                     1);
            painter->restore();
        }
        copy.subControls = option.subControls & SC_SliderHandle;
        if (copy.subControls != SC_None) {
            draw(&copy);
        }
        drawing_ = false;
    }

    // Draws a copy of `option` (one of the Options types) with the adjusted
    // palette; false (nothing drawn) where the base style is not Fusion, the
    // option is of another type, or an adjusted element is being drawn
    // already (its parts come with the adjusted palette).
    template <typename... Options, typename Draw>
    bool drawnAdjusted(const QStyleOption* option, Draw& draw) const {
        if (drawing_ || !baseIsFusion()) {
            return false;
        }
        drawing_ = true;
        const bool drawn = (drawnAs<Options>(option, draw) || ...);
        drawing_ = false;
        return drawn;
    }

    template <typename Option, typename Draw>
    bool drawnAs(const QStyleOption* option, Draw& draw) const {
        const auto* typed = qstyleoption_cast<const Option*>(option);
        if (typed == nullptr) {
            return false;
        }
        Option copy(*typed);
        copy.palette = adjusted(option->palette);
        draw(&copy);
        return true;
    }

    bool baseIsFusion() const {
        if (!baseIsFusion_) {
            baseIsFusion_ = baseStyle()->name().compare("fusion", Qt::CaseInsensitive) == 0;
        }
        return *baseIsFusion_;
    }

    // The palette whose window colour makes Fusion's outline outlineColour:
    // on a light window, Fusion's lighter variant is the faint one, so it
    // gets the colour and the plain outline a tenth darker; on a dark window
    // the plain outline is the faint one. One palette per source palette,
    // kept, so Fusion's pixmap caches (keyed by the palette) keep hitting.
    QPalette adjusted(const QPalette& source) const {
        auto found = adjusted_.find(source.cacheKey());
        if (found == adjusted_.end()) {
            if (adjusted_.size() >= kKeptPalettes) {
                adjusted_.clear();
            }
            QPalette palette = source;
            for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
                const QColor outline = outlineColour(source, group);
                const QColor drawn =
                    isDark(source.color(group, QPalette::Window)) ? outline : outline.darker(110);
                float hue = 0;
                float saturation = 0;
                float value = 0;
                float alpha = 0;
                drawn.getHsvF(&hue, &saturation, &value, &alpha);
                palette.setColor(group, QPalette::Window,
                                 QColor::fromHsvF(hue, saturation,
                                                  std::min(1.0F, value * kFusionDarkening), alpha));
            }
            found = adjusted_.emplace(source.cacheKey(), palette).first;
        }
        QPalette palette = found->second;
        palette.setCurrentColorGroup(source.currentColorGroup());
        return palette;
    }

    static constexpr float kFusionDarkening = 1.4F;
    static constexpr std::size_t kKeptPalettes = 32;
    mutable std::unordered_map<qint64, QPalette> adjusted_;
    mutable std::optional<bool> baseIsFusion_;
    mutable bool drawing_ = false;
};

}  // namespace

double relativeLuminance(const QColor& colour) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette darkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x2d, 0x2d, 0x30));
    dark.setColor(QPalette::Text, QColor(0xf0, 0xf0, 0xf0));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x40));
    dark.setColor(QPalette::ButtonText, QColor(0xf0, 0xf0, 0xf0));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, QColor(0x3c, 0x3c, 0x40));
    dark.setColor(QPalette::ToolTipText, QColor(0xf0, 0xf0, 0xf0));
    return dark;
}

QColor outlineColour(const QPalette& palette) {
    return outlineColour(palette, palette.currentColorGroup());
}

void installStyle() {
    if (QApplication::style()->objectName() != OutlineStyle::kName) {
        QApplication::setStyle(new OutlineStyle);
    }
}

QString panelStyleSheet() {
    const QPalette palette = QGuiApplication::palette();
    const QColor outline = outlineColour(palette);
    // The dark face is its own edge where it stands out from the ground
    // (a light palette); where it does not, a border in the outline colour
    // takes its place, at the same size.
    const QColor faceEdge = standsOut(kDarkButtonFace, palette) ? kDarkButtonFace : outline;
    // The focus ring in the highlight colour, made lighter or darker (toward
    // the text) where the ground would swallow it.
    const QColor highlight = palette.color(QPalette::Highlight);
    QColor focusEdge = highlight;
    for (int step = 1; step <= 10 && !standsOut(focusEdge, palette); ++step) {
        focusEdge = mixed(highlight, palette.color(QPalette::WindowText), step / 10.0F);
    }
    return QString(
               "QPushButton#multiplication { background-color: transparent;"
               " border: 1px solid %4; border-radius: 10px; padding: 5px 14px; }"
               "QPushButton#multiplication:checked { background-color: %1; color: black; }"
               "QPushButton#resetDAC { color: white; background-color: %2; border: 1px solid %5;"
               " border-radius: 10px; padding: 4px 17px; }"
               "QPushButton#resetDAC:pressed { background-color: black; }"
               "QPushButton#LinkButtonView { color: white; background-color: %2;"
               " border: 1px solid %5; border-radius: 10px; padding: 4px 17px; font-weight: bold; }"
               "QPushButton#LinkButtonView:checked { color: %3; }"
               "QPushButton#multiplication:focus, QPushButton#resetDAC:focus,"
               " QPushButton#LinkButtonView:focus { border: 2px solid %6; }")
        .arg(kModOnYellow.name(), kDarkButtonFace.name(), kGroupedGreen.name(), outline.name(),
             faceEdge.name(), focusEdge.name());
}

}  // namespace tarnwell::theme
