#pragma once

#include <vector>

#include <QDialog>

#include "core/base/signal.hpp"
#include "core/control/mapping.hpp"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tarnwell {

class ControllerInput;
class FileChooser;

// "Controller Mappings": every binding of a controller source to a panel
// control, one row each (control, source, channel, mode, range, invert,
// pickup), with Edit, Delete, Clear All, and Import and Export of a mappings
// file. An import that is not wholly valid is refused with the reason and
// changes nothing; an export is written atomically. Non-modal: the panel
// stays playable while it is open.
class MappingsWindow : public QDialog {
    Q_OBJECT
public:
    enum Column { kControl, kSource, kChannel, kMode, kMinimum, kMaximum, kInvert, kPickup };

    // `input` and `files` must outlive the window.
    MappingsWindow(ControllerInput& input, FileChooser& files, QWidget* parent = nullptr);
    ~MappingsWindow() override;

    [[nodiscard]] QTableWidget* table() const { return table_; }
    // What the last import, export or edit said.
    [[nodiscard]] QLabel* statusText() const { return status_; }
    [[nodiscard]] QPushButton* button(const QString& text) const;

    // Opens the editor of row `row`; returns it (non-modal, deletes itself).
    QDialog* editRow(int row);
    void deleteSelected();
    void clearAll();
    void importFile();
    void exportFile();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showMappings();
    void showStatus(const QString& text, bool isError);

    ControllerInput& input_;
    FileChooser& files_;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    std::vector<Connection> connections_;
};

// The form that edits one mapping: source kind, number, channel, mode, range,
// invert, pickup and the steps of a relative encoder. OK takes the mapping
// only when it can be used; otherwise it says why and stays open.
class MappingEditor : public QDialog {
    Q_OBJECT
public:
    MappingEditor(const Mapping& mapping, QWidget* parent = nullptr);

    // The mapping as the form shows it now.
    [[nodiscard]] Mapping mapping() const;
    [[nodiscard]] QLabel* problemText() const { return problem_; }

Q_SIGNALS:
    // OK with a usable mapping.
    void mappingAccepted(const Mapping& mapping);

private:
    void showRanges();

    Mapping original_;
    QComboBox* kind_ = nullptr;
    QSpinBox* number_ = nullptr;
    QSpinBox* channel_ = nullptr;
    QComboBox* mode_ = nullptr;
    QDoubleSpinBox* minimum_ = nullptr;
    QDoubleSpinBox* maximum_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QComboBox* pickup_ = nullptr;
    QSpinBox* steps_ = nullptr;
    QLabel* problem_ = nullptr;
    // The range as first shown, rounded to the boxes' decimals: left as it
    // is, the mapping keeps its exact range.
    double shownMinimum_ = 0.0;
    double shownMaximum_ = 0.0;
};

// "Absolute", "Relative (two's complement)", "Toggle" ... as the window shows
// a mode; "Soft takeover", "Jump" for pickup.
[[nodiscard]] QString modeName(MappingMode mode);
[[nodiscard]] QString pickupName(Pickup pickup);

}  // namespace tarnwell
