#include "ui/control/controller_input_picker.hpp"

#include <QSignalBlocker>

#include "core/control/controller_input.hpp"

namespace tarnwell {

namespace {
constexpr int kNameRole = Qt::UserRole;
}  // namespace

ControllerInputPicker::ControllerInputPicker(ControllerInput& input, QWidget* parent)
    : Picker(parent), input_(input) {
    setObjectName("controllerInput");
    setAccessibleName(tr("Controller Input"));
    setToolTip(
        tr("The MIDI device whose knobs, keys and pads play the panel; right-click a control "
           "and choose Learn Controller to give it a knob"));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    showSources();
    // Any change of the row but our own redraws (which block signals): a
    // click, the keyboard, an assistive technology setting the current item.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int row) {
        if (row < 0) {
            return;
        }
        const QVariant name = itemData(row, kNameRole);
        input_.chooseSource(name.isValid() ? std::optional(name.toString().toStdString())
                                           : std::nullopt);
    });
    connection_ = input_.sourceChanged.connect([this] { showSources(); });
}

void ControllerInputPicker::showSources() {
    const QSignalBlocker blocker(this);
    clear();
    addItem(tr("None"));
    const auto& chosen = input_.chosenSource();
    int current = 0;
    for (const std::string& name : input_.sourceNames()) {
        addItem(QString::fromStdString(name), QString::fromStdString(name));
        if (current == 0 && chosen == name) {
            current = count() - 1;
        }
    }
    if (chosen && current == 0) {
        addItem(tr("%1 (unavailable)").arg(QString::fromStdString(*chosen)),
                QString::fromStdString(*chosen));
        current = count() - 1;
    }
    setCurrentIndex(current);
}

}  // namespace tarnwell
