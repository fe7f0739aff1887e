#include "ui/panel/preset_list_model.hpp"

#include <limits>

#include "core/panel/presets.hpp"

namespace tarnwell {

namespace {

int clampedRows(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
}

}  // namespace

QString presetName(std::int64_t index, const std::string& name) {
    return name.empty() ? QObject::tr("Preset %1").arg(static_cast<qlonglong>(index) + 1)
                        : QString::fromStdString(name);
}

QString presetRowText(std::int64_t index, const std::string& name) {
    return name.empty() ? presetName(index, name)
                        : QStringLiteral("%1  %2")
                              .arg(static_cast<qlonglong>(index) + 1)
                              .arg(QString::fromStdString(name));
}

PresetListModel::PresetListModel(Presets& presets, QObject* parent, bool marksModified)
    : QAbstractListModel(parent),
      presets_(presets),
      marksModified_(marksModified),
      rows_(clampedRows(presets.presets().size())) {
    connection_ = presets_.changed.connect([this](PresetsEvent event) {
        if (event.change == PresetsChange::list) {
            const int rows = clampedRows(presets_.presets().size());
            if (rows == rows_ + 1) {
                beginInsertRows({}, rows_, rows_);
                rows_ = rows;
                endInsertRows();
            } else if (rows != rows_ || event.index < 0) {
                beginResetModel();
                rows_ = rows;
                endResetModel();
            }
            rowChanged(event.index);
        }
        // The marker follows the selection and the panel's sound.
        const std::int64_t marked =
            marksModified_ && presets_.isModified() ? presets_.selectedPresetIndex() : -1;
        if (marked != marked_) {
            rowChanged(std::exchange(marked_, marked));
            rowChanged(marked_);
        }
    });
}

void PresetListModel::rowChanged(std::int64_t row) {
    if (row >= 0 && row < rows_) {
        const QModelIndex at = index(static_cast<int>(row));
        Q_EMIT dataChanged(at, at);
    }
}

int PresetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant PresetListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        const std::int64_t row = index.row();
        QString text = presetRowText(row, presets_.presets()[static_cast<std::size_t>(row)].name);
        if (row == marked_) {
            text += QStringLiteral(" *");
        }
        return text;
    }
    return {};
}

}  // namespace tarnwell
