#pragma once

#include <array>
#include <cstddef>

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tarnwell {

class ParameterSlider;
class PhysicsSimulation;

// The ball settings that have a slider, in the order the page shows them: the
// vertical wave on the left, the magnet and the horizontal wave on the right.
enum class BallSlider : std::size_t {
    ampY,
    freqY,
    phaseY,
    magnetStrength,
    magnetX,
    magnetY,
    ampX,
    freqX,
    phaseX,
};
inline constexpr std::size_t kBallSliderCount = 9;

// One ball's page of controls: its title and parameter, Start/Stop, the
// parameter and wave pickers, the magnet and the wave sliders with their value
// labels. Every control writes straight into the ball through the simulation;
// `showBall` brings every control back in line with the ball.
//
// Threading: main thread only.
class BallPageView : public QWidget {
    Q_OBJECT
public:
    BallPageView(PhysicsSimulation& simulation, std::size_t index, QWidget* parent = nullptr);

    // Shows the ball's current settings. Emits no control signals, so nothing
    // is written back.
    void showBall();

    [[nodiscard]] QLabel* paramLabel() const { return paramLabel_; }
    [[nodiscard]] QPushButton* runButton() const { return runButton_; }
    [[nodiscard]] QComboBox* paramPicker() const { return paramPicker_; }
    [[nodiscard]] QComboBox* waveYPicker() const { return waveYPicker_; }
    [[nodiscard]] QComboBox* waveXPicker() const { return waveXPicker_; }
    [[nodiscard]] QCheckBox* magnetToggle() const { return magnetToggle_; }
    [[nodiscard]] ParameterSlider* slider(BallSlider which) const {
        return sliders_[static_cast<std::size_t>(which)];
    }
    [[nodiscard]] QLabel* valueLabel(BallSlider which) const {
        return valueLabels_[static_cast<std::size_t>(which)];
    }

private:
    void addSlider(QVBoxLayout* column, BallSlider which);
    QComboBox* addWavePicker(QVBoxLayout* column, const QString& label, bool vertical);

    PhysicsSimulation& simulation_;
    std::size_t index_;
    QLabel* paramLabel_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QComboBox* paramPicker_ = nullptr;
    QComboBox* waveYPicker_ = nullptr;
    QComboBox* waveXPicker_ = nullptr;
    QCheckBox* magnetToggle_ = nullptr;
    std::array<ParameterSlider*, kBallSliderCount> sliders_{};
    std::array<QLabel*, kBallSliderCount> valueLabels_{};
};

}  // namespace tarnwell
