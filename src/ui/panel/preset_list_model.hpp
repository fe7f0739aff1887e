#pragma once

#include <QAbstractListModel>

#include "core/base/signal.hpp"

namespace tarnwell {

class Presets;

// The rows of the "Select Preset" picker, "Preset 1" onwards, made on demand
// so a list of many thousand presets costs nothing until shown.
class PresetListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PresetListModel(Presets& presets, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    Presets& presets_;
    int rows_ = 0;
    Connection connection_;
};

}  // namespace tarnwell
