#include "ui/physics/ball_area_view.hpp"

#include <cmath>

#include <QPainter>

#include "core/physics/simulation.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

// Half the frame's line lies outside the square; the widget leaves room for it
// so the whole stroke is drawn.
constexpr double kLineWidth = theme::metrics::kBallFrameLineWidth;
constexpr double kInset = kLineWidth / 2.0;

}  // namespace

BallAreaView::BallAreaView(const PhysicsSimulation& simulation, QWidget* parent)
    : QWidget(parent),
      simulation_(simulation),
      framePen_(theme::kFrameGray, kLineWidth),
      ballBrushes_{theme::ballColor(BallColor::red), theme::ballColor(BallColor::blue),
                   theme::ballColor(BallColor::green), theme::ballColor(BallColor::orange),
                   theme::ballColor(BallColor::purple)} {
    setObjectName("ballArea");
    setAccessibleName(tr("Balls"));
    setFixedSize(sizeHint());
}

QSize BallAreaView::sizeHint() const {
    return {static_cast<int>(std::ceil(PhysicsSimulation::boundingWidth + kLineWidth)),
            static_cast<int>(std::ceil(PhysicsSimulation::boundingHeight + kLineWidth))};
}

void BallAreaView::showTick() {
    if (isVisible()) {
        update();
    }
}

QPointF BallAreaView::widgetPoint(Point pos) const {
    return {kInset + pos.x, kInset + pos.y};
}

void BallAreaView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(framePen_);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(kInset, kInset, PhysicsSimulation::boundingWidth,
                            PhysicsSimulation::boundingHeight));
    painter.setPen(Qt::NoPen);
    constexpr double radius = theme::metrics::kBallDiameter / 2.0;
    for (const Ball& ball : simulation_.balls()) {
        const auto colour = static_cast<std::size_t>(ball.color);
        painter.setBrush(colour < ballBrushes_.size() ? ballBrushes_[colour]
                                                      : QBrush(theme::ballColor(ball.color)));
        painter.drawEllipse(widgetPoint(ball.pos), radius, radius);
    }
    ++framesPainted_;
}

}  // namespace tarnwell
