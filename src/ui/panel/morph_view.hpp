#pragma once

#include <vector>

#include <QWidget>

#include "core/base/signal.hpp"
#include "ui/commands.hpp"

class QComboBox;
class QLabel;

namespace tarnwell {

class Morph;
class ParameterSlider;
class Presets;

// The morph between two presets: a picker for preset A and one for B (every
// slot by its name), the morph slider from A to B in percent, and "Save
// Preset As..." to keep what it found. The slider is a morph gesture per
// drag or key press; it acts only once both presets are chosen. Assistive
// technologies see and set its value in percent, as shown.
class MorphView : public QWidget {
    Q_OBJECT
public:
    // `morph`, `presets` and the actions must outlive the view.
    MorphView(Morph& morph, Presets& presets, const PanelActions& actions,
              QWidget* parent = nullptr);
    ~MorphView() override;

    [[nodiscard]] QComboBox* pickerA() const { return pickerA_; }
    [[nodiscard]] QComboBox* pickerB() const { return pickerB_; }
    [[nodiscard]] ParameterSlider* slider() const { return slider_; }
    [[nodiscard]] QLabel* readout() const { return readout_; }

private:
    void showMorph();

    Morph& morph_;
    QComboBox* pickerA_ = nullptr;
    QComboBox* pickerB_ = nullptr;
    ParameterSlider* slider_ = nullptr;
    QLabel* readout_ = nullptr;
    std::vector<Connection> connections_;
};

}  // namespace tarnwell
