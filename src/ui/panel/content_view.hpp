#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QWidget>

#include "core/base/signal.hpp"

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace tarnwell {

class Controller;
class FileChooser;
class MainQueue;
class MidiService;
class RandomSource;
class UnitPageView;
class MidiSliderView;
struct Notice;

// What the controller window needs from the application.
struct PanelEnvironment {
    std::shared_ptr<MidiService> midiService;  // null: no MIDI system
    MainQueue* queue = nullptr;
    RandomSource* random = nullptr;
    // Null: the window's own JSON file dialogs.
    FileChooser* fileChooser = nullptr;
    // Absent: the platform's documents folder.
    std::function<std::optional<std::filesystem::path>()> documentsFolder;
    // Builds the page of the "Physics" tab; absent: an empty page.
    std::function<QWidget*(Controller&, QWidget* parent)> makePhysicsPage;
};

// The controller window's content: destination picker and status, the unit,
// Regen and Physics tabs, the preset controls, the randomise buttons and the
// three global switches, above a status line for preset file outcomes. It
// creates the controller state and the MIDI manager, which registers with the
// MIDI system when this view is built.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(PanelEnvironment environment, QWidget* parent = nullptr);
    ~ContentView() override;

    [[nodiscard]] Controller& controller() { return *controller_; }
    [[nodiscard]] QComboBox* destinationPicker() const { return destinationPicker_; }
    [[nodiscard]] QLabel* statusText() const { return status_; }
    [[nodiscard]] QTabWidget* tabs() const { return tabs_; }
    [[nodiscard]] UnitPageView* unitPage(int unit) const {
        return unitPages_.at(static_cast<std::size_t>(unit));
    }
    [[nodiscard]] MidiSliderView* regenBank() const { return regenBank_; }
    [[nodiscard]] QComboBox* presetPicker() const { return presetPicker_; }
    [[nodiscard]] QLabel* noticeText() const { return notice_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildRegenPage();
    QWidget* buildBottomControls();
    QPushButton* addButton(const QString& text, const std::function<void()>& action);
    void showDestinations();
    void showPresetSelection();
    void showNotice(const Notice& notice);

    PanelEnvironment environment_;
    std::unique_ptr<FileChooser> ownFileChooser_;
    std::unique_ptr<Controller> controller_;
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
