#include "ui/panel/preset_list_model.hpp"

#include <limits>

#include "core/panel/presets.hpp"

namespace tarnwell {

namespace {

int clampedRows(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
}

}  // namespace

PresetListModel::PresetListModel(Presets& presets, QObject* parent)
    : QAbstractListModel(parent), presets_(presets), rows_(clampedRows(presets.presets().size())) {
    connection_ = presets_.changed.connect([this](PresetsEvent event) {
        if (event.change != PresetsChange::list) {
            return;
        }
        const int rows = clampedRows(presets_.presets().size());
        if (rows == rows_) {
            return;
        }
        if (rows == rows_ + 1) {
            beginInsertRows({}, rows_, rows_);
            rows_ = rows;
            endInsertRows();
        } else {
            beginResetModel();
            rows_ = rows;
            endResetModel();
        }
    });
}

int PresetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant PresetListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return QString("Preset %1").arg(static_cast<qlonglong>(index.row()) + 1);
    }
    return {};
}

}  // namespace tarnwell
