#pragma once

#include <cstdint>
#include <string>

#include <QAbstractListModel>

#include "core/base/signal.hpp"

namespace tarnwell {

class Presets;

// A preset as the musician calls it: its name, or "Preset 12" when unnamed.
[[nodiscard]] QString presetName(std::int64_t index, const std::string& name);
// A preset as a list shows it: "12  Glass Bells", or "Preset 12" when unnamed.
[[nodiscard]] QString presetRowText(std::int64_t index, const std::string& name);

// The rows of the "Select Preset" picker, made on demand so a list of many
// thousand presets costs nothing until shown. With `marksModified`, the
// selected row carries " *" while the panel differs from it (the "Select
// Preset" picker; the morph's pickers show the rows plain).
class PresetListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PresetListModel(Presets& presets, QObject* parent = nullptr,
                             bool marksModified = true);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    void rowChanged(std::int64_t row);

    Presets& presets_;
    bool marksModified_;
    int rows_ = 0;
    std::int64_t marked_ = -1;  // the row that carries the marker, if any
    Connection connection_;
};

}  // namespace tarnwell
