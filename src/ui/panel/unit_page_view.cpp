#include "ui/panel/unit_page_view.hpp"

#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/panel/controller.hpp"
#include "core/panel/locks.hpp"
#include "ui/panel/link_button_view.hpp"
#include "ui/panel/midi_slider_view.hpp"
#include "ui/panel/mode_toggle_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

UnitPageView::UnitPageView(Controller& controller, Locks& locks, std::int64_t unit, QWidget* parent)
    : QWidget(parent), controller_(controller), locks_(locks), unit_(unit) {
    auto* page = new QVBoxLayout(this);
    page->addSpacing(theme::metrics::kPageTopSpace);

    const std::int64_t start = kSlotsPerUnit * unit;
    bank_ = new MidiSliderView(controller, locks, start, start + kSlotsPerUnit, this);
    page->addWidget(bank_);

    multiplication_ = new QPushButton(tr("multiplication"), this);
    multiplication_->setObjectName("multiplication");
    multiplication_->setCheckable(true);
    multiplication_->setFocusPolicy(Qt::StrongFocus);
    const ModButtonNumbers& numbers = nrpnButtonStates[static_cast<std::size_t>(unit)];
    multiplication_->setToolTip(tr("Turns the multiplication of unit %1 on or off; sends NRPN %2 "
                                   "when on, %3 when off.")
                                    .arg(QChar('A' + static_cast<int>(unit)))
                                    .arg(numbers.on)
                                    .arg(numbers.off));
    // Whatever flips the button (a click, Space, an assistive toggle), the
    // model decides, and its state comes back through showModState.
    connect(multiplication_, &QPushButton::toggled, this, [this](bool checked) {
        if (checked != isModOn()) {
            controller_.toggleModButton(unit_);
        }
        showModState();
    });
    lockUnit_ = new QPushButton(tr("Lock Unit"), this);
    lockUnit_->setObjectName("lockUnit");
    lockUnit_->setCheckable(true);
    lockUnit_->setFocusPolicy(Qt::StrongFocus);
    lockUnit_->setToolTip(tr("Locks the six parameters of unit %1: Mutate and Morph leave them "
                             "as they are. Sends nothing.")
                              .arg(QChar('A' + static_cast<int>(unit))));
    // A click, Space or an assistive toggle: locked only while all six are.
    connect(lockUnit_, &QPushButton::toggled, this, [this](bool checked) {
        locks_.setUnitLocked(unit_, checked);
        showLockState();
    });
    auto* modRow = new QHBoxLayout;
    modRow->addWidget(multiplication_);
    modRow->addStretch();
    modRow->addWidget(lockUnit_);
    page->addLayout(modRow);

    page->addStretch();

    link_ = new LinkButtonView([this] { controller_.toggleLink(unit_); }, this);
    link_->setToolTip(
        tr("Groups this unit: a change in a grouped unit is copied to the same "
           "slot of every other grouped unit. Sends nothing itself."));
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(link_);
    linkRow->addStretch();
    page->addLayout(linkRow);

    auto* regenRow = new QHBoxLayout;
    regenRow->addWidget(new ModeToggleView(controller, ModeToggle::filterModeToggle, this));
    regenRow->addStretch();
    regenRow->addWidget(new ModeToggleView(controller, ModeToggle::regenModeToggle, this));
    regenRow->addStretch();
    regenRow->addWidget(new ModeToggleView(controller, ModeToggle::regen2ModeToggle, this));
    page->addLayout(regenRow);

    page->addStretch();

    resetDac_ = new QPushButton(kResetDacText, this);
    resetDac_->setObjectName("resetDAC");
    resetDac_->setFocusPolicy(Qt::StrongFocus);
    resetDac_->setToolTip(tr("Resets the synthesizer's DAC; sends NRPN %1 with value %2.")
                              .arg(kResetDacNumber)
                              .arg(kCommandValue));
    connect(resetDac_, &QPushButton::clicked, this, [this] { controller_.resetDAC(); });
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(resetDac_);
    resetRow->addStretch();
    page->addLayout(resetRow);
    page->addSpacing(theme::metrics::kPageBottomSpace);

    showModState();
    showLockState();
    locksConnection_ = locks_.changed.connect([this](std::int64_t) { showLockState(); });
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

bool UnitPageView::isModOn() const {
    return controller_.modButtonPressed()[static_cast<std::size_t>(unit_)];
}

void UnitPageView::showLockState() {
    const QSignalBlocker blocker(lockUnit_);
    lockUnit_->setChecked(locks_.unitLocked(unit_));
}

void UnitPageView::showModState() {
    const QSignalBlocker blocker(multiplication_);
    multiplication_->setChecked(isModOn());
}

}  // namespace tarnwell
