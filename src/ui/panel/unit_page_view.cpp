#include "ui/panel/unit_page_view.hpp"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/panel/controller.hpp"
#include "ui/panel/link_button_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

UnitPageView::UnitPageView(Controller& controller, std::int64_t unit, QWidget* parent)
    : QWidget(parent), controller_(controller), unit_(unit) {
    auto* page = new QVBoxLayout(this);
    page->addSpacing(20);

    const std::int64_t start = kSlotsPerUnit * unit;
    const auto end = std::min<std::int64_t>(
        start + kSlotsPerUnit, static_cast<std::int64_t>(controller.sliderValues().size()));
    bank_ = new MidiSliderView(
        controller, start, end,
        [this](double value, std::int64_t n) { controller_.sendFromTab(n, unit_, value); }, this);
    page->addWidget(bank_);

    multiplication_ = new QPushButton("multiplication", this);
    multiplication_->setObjectName("multiplication");
    multiplication_->setCheckable(true);
    multiplication_->setFocusPolicy(Qt::StrongFocus);
    multiplication_->setStyleSheet(
        QString("QPushButton { background-color: transparent; border: 1px solid palette(mid);"
                " border-radius: 10px; padding: 5px 14px; }"
                "QPushButton:checked { background-color: %1; color: black; }"
                "QPushButton:focus { border: 2px solid palette(highlight); }")
            .arg(kModOnYellow.name()));
    connect(multiplication_, &QPushButton::clicked, this,
            [this] { controller_.toggleModButton(unit_); });
    auto* modRow = new QHBoxLayout;
    modRow->addWidget(multiplication_);
    modRow->addStretch();
    page->addLayout(modRow);

    page->addStretch();

    link_ = new LinkButtonView([this] { controller_.toggleLink(unit_); }, this);
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(link_);
    linkRow->addStretch();
    page->addLayout(linkRow);

    auto* regenRow = new QHBoxLayout;
    regenRow->addWidget(new ModeToggleView(controller, ModeToggle::FilterModeToggle, this));
    regenRow->addStretch();
    regenRow->addWidget(new ModeToggleView(controller, ModeToggle::regenModeToggle, this));
    regenRow->addStretch();
    regenRow->addWidget(new ModeToggleView(controller, ModeToggle::regen2ModeToggle, this));
    page->addLayout(regenRow);

    page->addStretch();

    resetDac_ = new QPushButton(kResetDacText, this);
    resetDac_->setObjectName("resetDAC");
    resetDac_->setFocusPolicy(Qt::StrongFocus);
    resetDac_->setStyleSheet(
        QString("QPushButton { color: white; background-color: %1; border: none;"
                " border-radius: 10px; padding: 5px 18px; }"
                "QPushButton:pressed { background-color: black; }"
                "QPushButton:focus { border: 2px solid palette(highlight); }")
            .arg(kDarkButtonFace.name()));
    connect(resetDac_, &QPushButton::clicked, this, [this] { controller_.resetDAC(); });
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(resetDac_);
    resetRow->addStretch();
    page->addLayout(resetRow);
    page->addSpacing(10);

    showModState();
    connection_ = controller_.changed.connect([this](ControllerChange change) {
        if (change.field == ControllerField::modButtonPressed &&
            (change.index == unit_ || change.index < 0)) {
            showModState();
        }
        if (change.field == ControllerField::linkedTabs && change.index == unit_) {
            link_->setLinked(controller_.linkedTabs()[static_cast<std::size_t>(unit_)]);
        }
    });
}

void UnitPageView::showModState() {
    const auto& pressed = controller_.modButtonPressed();
    const bool on = unit_ < static_cast<std::int64_t>(pressed.size()) &&
                    pressed[static_cast<std::size_t>(unit_)];
    const QSignalBlocker blocker(multiplication_);
    multiplication_->setChecked(on);
}

}  // namespace tarnwell
