#pragma once

#include <QAbstractListModel>

#include "core/base/signal.hpp"

namespace tarnwell {

class Controller;

// The rows of the "Select Preset" picker, "Preset 1" onwards, made on demand
// so a list of many thousand presets costs nothing until shown.
class PresetListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PresetListModel(Controller& controller, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    Controller& controller_;
    int rows_ = 0;
    Connection connection_;
};

}  // namespace tarnwell
