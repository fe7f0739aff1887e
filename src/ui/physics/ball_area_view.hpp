#pragma once

#include <array>
#include <cstdint>

#include <QBrush>
#include <QPen>
#include <QWidget>

#include "core/physics/ball.hpp"

namespace tarnwell {

class PhysicsSimulation;

// The physics page's drawing area: the 250 x 250 square stroked gray and each
// ball as a 15-point disc of its colour, centred on its position measured from
// the square's top-left corner.
//
// Cost per frame: one paint of this widget alone. Pens and brushes are built
// once, nothing here allocates while painting, and a tick only schedules a
// repaint when the area is on screen, so a hidden page costs no drawing.
//
// Threading: main thread only. Reads the balls while painting; never writes.
class BallAreaView : public QWidget {
    Q_OBJECT
public:
    explicit BallAreaView(const PhysicsSimulation& simulation, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    // A tick moved the balls: repaints when the area is visible, else nothing.
    void showTick();
    // Where a ball at `pos` is centred, in this widget's coordinates.
    [[nodiscard]] QPointF widgetPoint(Point pos) const;
    [[nodiscard]] std::uint64_t framesPainted() const { return framesPainted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const PhysicsSimulation& simulation_;
    QPen framePen_;
    std::array<QBrush, 5> ballBrushes_;
    std::uint64_t framesPainted_ = 0;
};

}  // namespace tarnwell
