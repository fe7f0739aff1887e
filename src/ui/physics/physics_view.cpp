#include "ui/physics/physics_view.hpp"

#include <algorithm>
#include <utility>

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/physics/simulation.hpp"
#include "ui/physics/ball_area_view.hpp"
#include "ui/physics/ball_page_view.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

PhysicsView::PhysicsView(PhysicsSimulation& simulation, RandomSource& random, QWidget* parent)
    : QWidget(parent), simulation_(simulation), random_(random) {
    setObjectName("physicsPage");
    auto* page = new QHBoxLayout(this);
    page->setSpacing(theme::metrics::kPhysicsPageSpacing);
    page->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    ballArea_ = new BallAreaView(simulation_, this);
    page->addWidget(ballArea_, 0, Qt::AlignTop);

    auto* controls = new QVBoxLayout;
    controls->setSpacing(theme::metrics::kPhysicsColumnSpacing);
    controls->addSpacing(theme::metrics::kPhysicsControlsTopSpace);
    ballTabs_ = new QTabWidget(this);
    ballTabs_->setObjectName("ballTabs");
    for (std::size_t i = 0; i < simulation_.balls().size(); ++i) {
        auto* ballPage = new BallPageView(simulation_, i, ballTabs_);
        ballPages_.push_back(ballPage);
        ballTabs_->addTab(ballPage, QString::number(i + 1));
    }
    // As tall as the controls of a ball page need, so none is cut off.
    const QSize needed = ballTabs_->sizeHint();
    ballTabs_->setFixedSize(std::max(theme::metrics::kBallTabsWidth, needed.width()),
                            std::max(theme::metrics::kBallTabsHeight, needed.height()));
    controls->addWidget(ballTabs_, 0, Qt::AlignLeft);
    dice_ = new QPushButton(tr("Dice"), this);
    dice_->setFocusPolicy(Qt::StrongFocus);
    dice_->setAutoDefault(false);
    connect(dice_, &QPushButton::clicked, this, [this] { simulation_.randomizeWaves(random_); });
    controls->addWidget(dice_, 0, Qt::AlignLeft);
    controls->addStretch();
    page->addLayout(controls);
    page->addStretch();

    const QSize frame(
        static_cast<int>(PhysicsSimulation::boundingWidth) + theme::metrics::kPhysicsExtraWidth,
        static_cast<int>(PhysicsSimulation::boundingHeight) + theme::metrics::kPhysicsExtraHeight);
    setMinimumSize(page->minimumSize().expandedTo(frame));

    connection_ = simulation_.changed.connect([this](PhysicsChange change) {
        if (change == PhysicsChange::tick) {
            // Only running balls move; a tick that moved none would redraw
            // the same picture.
            if (std::ranges::any_of(simulation_.balls(), &Ball::isRunning)) {
                ballArea_->showTick();
            }
            return;
        }
        for (auto* ballPage : ballPages_) {
            ballPage->showBall();
        }
    });
}

PhysicsView::~PhysicsView() {
    connection_.disconnect();
    // The child views refer to the simulation: they go before it does.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

BallPageView* PhysicsView::ballPage(std::size_t index) const {
    return index < ballPages_.size() ? ballPages_[index] : nullptr;
}

}  // namespace tarnwell
