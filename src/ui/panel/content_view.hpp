#pragma once

#include <functional>
#include <vector>

#include <QWidget>

#include "core/base/signal.hpp"

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tarnwell {

class Model;
class MidiSliderView;
class UnitPageView;
struct Notice;

// The controller window's content: destination picker and status, the unit,
// Regen and Physics tabs, the preset controls, the randomise buttons and the
// three global switches, above a status line for preset file outcomes. It
// shows the model it is given and calls its operations; `physicsPage`
// becomes the "Physics" tab.
class ContentView : public QWidget {
    Q_OBJECT
public:
    // `model` must outlive the view.
    ContentView(Model& model, QWidget* physicsPage, QWidget* parent = nullptr);
    ~ContentView() override;

    [[nodiscard]] Model& model() { return model_; }
    [[nodiscard]] QComboBox* destinationPicker() const { return destinationPicker_; }
    [[nodiscard]] QLabel* statusText() const { return status_; }
    [[nodiscard]] QTabWidget* tabs() const { return tabs_; }
    [[nodiscard]] UnitPageView* unitPage(int unit) const {
        return unitPages_.at(static_cast<std::size_t>(unit));
    }
    [[nodiscard]] MidiSliderView* regenBank() const { return regenBank_; }
    [[nodiscard]] QComboBox* presetPicker() const { return presetPicker_; }
    [[nodiscard]] QLabel* noticeText() const { return notice_; }
    // Shows an outcome on the notice line, in red for an error.
    void showNotice(const Notice& notice);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildRegenPage();
    QWidget* buildBottomControls();
    QPushButton* addButton(const QString& text, const std::function<void()>& action);
    void showDestinations();
    void showPresetSelection();

    Model& model_;
    QComboBox* destinationPicker_ = nullptr;
    QLabel* status_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::vector<UnitPageView*> unitPages_;
    MidiSliderView* regenBank_ = nullptr;
    QComboBox* presetPicker_ = nullptr;
    QLabel* notice_ = nullptr;
    bool pickerShown_ = false;
    std::vector<Connection> connections_;
};

}  // namespace tarnwell
