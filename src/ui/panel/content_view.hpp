#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include <QWidget>

#include "core/base/signal.hpp"
#include "core/panel/parameters.hpp"
#include "ui/commands.hpp"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace tarnwell {

class ControllerInputPicker;
class Model;
class MidiSliderView;
class UnitPageView;
struct Notice;

// The controller window's content: destination picker and status, the unit,
// Regen and Physics tabs, the preset controls, the randomise buttons and the
// three global switches, above a status line for preset file outcomes. It
// shows the model it is given and calls its operations; its command buttons
// trigger the window's actions; `physicsPage` becomes the "Physics" tab.
//
// A slider whose parameter a running ball drives shows the value the ball
// sends beside its own stored value.
class ContentView : public QWidget {
    Q_OBJECT
public:
    // `model` and the actions must outlive the view.
    ContentView(Model& model, const PanelActions& actions, QWidget* physicsPage,
                QWidget* parent = nullptr);
    ~ContentView() override;

    [[nodiscard]] Model& model() { return model_; }
    [[nodiscard]] QComboBox* destinationPicker() const { return destinationPicker_; }
    [[nodiscard]] QLabel* statusText() const { return status_; }
    // "Controller Input": the hardware controller's source.
    [[nodiscard]] ControllerInputPicker* controllerInputPicker() const { return inputPicker_; }
    [[nodiscard]] QTabWidget* tabs() const { return tabs_; }
    [[nodiscard]] UnitPageView* unitPage(int unit) const {
        return unitPages_.at(static_cast<std::size_t>(unit));
    }
    [[nodiscard]] MidiSliderView* regenBank() const { return regenBank_; }
    [[nodiscard]] QComboBox* presetPicker() const { return presetPicker_; }
    // How far Mutate reaches, in percent; edits the model's Mutate options.
    [[nodiscard]] QSpinBox* mutateAmount() const { return mutateAmount_; }
    [[nodiscard]] QLabel* noticeText() const { return notice_; }
    enum class NoticePlacement { replacing, below };
    // Shows an outcome in the status line, in the error colour for a failure;
    // `below` keeps what the line says and adds a line under it.
    void showNotice(const Notice& notice, NoticePlacement placement = NoticePlacement::replacing);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildRegenPage();
    QWidget* buildBottomControls();
    void showDestinations();
    void showPresetSelection();
    // Moves the live markers to what the running balls send now.
    void showModulation();

    Model& model_;
    const PanelActions& actions_;
    // The value a running ball sends, by parameter index, as last shown.
    std::array<std::int64_t, kParameterCount> shownModulation_{};
    static constexpr std::chrono::milliseconds kModulationInterval{100};
    std::chrono::steady_clock::time_point modulationShownAt_;
    QComboBox* destinationPicker_ = nullptr;
    ControllerInputPicker* inputPicker_ = nullptr;
    QLabel* status_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::vector<UnitPageView*> unitPages_;
    MidiSliderView* regenBank_ = nullptr;
    QComboBox* presetPicker_ = nullptr;
    QSpinBox* mutateAmount_ = nullptr;
    QLabel* notice_ = nullptr;
    bool noticeIsError_ = false;
    bool pickerShown_ = false;
    std::vector<Connection> connections_;
};

}  // namespace tarnwell
