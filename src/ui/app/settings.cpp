#include "ui/app/settings.hpp"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include "core/panel/mutate.hpp"
#include "core/panel/parameters.hpp"

namespace tarnwell {

namespace {

constexpr auto kDestination = "midi/destination";
constexpr auto kGeometry = "window/geometry";
constexpr auto kImportFolder = "folders/import";
constexpr auto kExportFolder = "folders/export";
constexpr auto kSendPanelOnConnect = "options/sendPanelOnConnect";
constexpr auto kRestorePresets = "options/restorePresetsAtStart";
constexpr auto kResumeAtStart = "options/resumeAtStart";
constexpr auto kLockedParameters = "explore/lockedParameters";
constexpr auto kMutatePercent = "explore/mutatePercent";
constexpr auto kMutateSwitches = "explore/mutateSwitches";
constexpr auto kMorphPresetA = "explore/morphPresetA";
constexpr auto kMorphPresetB = "explore/morphPresetB";

}  // namespace

Settings::Settings(const QString& file)
    : store_(file.isEmpty() ? std::make_unique<QSettings>()
                            : std::make_unique<QSettings>(file, QSettings::IniFormat)) {}

Settings::~Settings() = default;

std::optional<std::string> Settings::destination() const {
    const QString name = store_->value(kDestination).toString();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return name.toStdString();
}

void Settings::setDestination(const std::string& name) {
    store_->setValue(kDestination, QString::fromStdString(name));
}

QByteArray Settings::windowGeometry() const {
    return store_->value(kGeometry).toByteArray();
}

void Settings::setWindowGeometry(const QByteArray& geometry) {
    store_->setValue(kGeometry, geometry);
}

QString Settings::folder(bool forExport) const {
    return store_->value(forExport ? kExportFolder : kImportFolder).toString();
}

void Settings::setFolder(bool forExport, const QString& folder) {
    store_->setValue(forExport ? kExportFolder : kImportFolder, folder);
}

bool Settings::sendPanelOnConnect() const {
    return store_->value(kSendPanelOnConnect, false).toBool();
}

void Settings::setSendPanelOnConnect(bool on) {
    store_->setValue(kSendPanelOnConnect, on);
}

bool Settings::restorePresetsAtStart() const {
    return store_->value(kRestorePresets, false).toBool();
}

void Settings::setRestorePresetsAtStart(bool on) {
    store_->setValue(kRestorePresets, on);
}

bool Settings::resumeAtStart() const {
    return store_->value(kResumeAtStart, false).toBool();
}

void Settings::setResumeAtStart(bool on) {
    store_->setValue(kResumeAtStart, on);
}

// Kept as the parameters' NRPN numbers ("1 5 37"), as the panel names them.
std::vector<std::int64_t> Settings::lockedParameters() const {
    std::vector<std::int64_t> indices;
    const QStringList numbers =
        store_->value(kLockedParameters).toString().split(' ', Qt::SkipEmptyParts);
    for (const QString& text : numbers) {
        bool ok = false;
        const qlonglong number = text.toLongLong(&ok);
        const std::int64_t index = number - nrpnNumberOfIndex(0);
        if (ok && index >= 0 && index < kParameterCount) {
            indices.push_back(index);
        }
    }
    return indices;
}

void Settings::setLockedParameters(const std::vector<std::int64_t>& indices) {
    QStringList numbers;
    for (const std::int64_t index : indices) {
        numbers << QString::number(nrpnNumberOfIndex(index));
    }
    store_->setValue(kLockedParameters, numbers.join(' '));
}

int Settings::mutatePercent() const {
    bool ok = false;
    const int percent = store_->value(kMutatePercent, kDefaultMutatePercent).toInt(&ok);
    return ok ? clampedMutatePercent(percent) : kDefaultMutatePercent;
}

void Settings::setMutatePercent(int percent) {
    store_->setValue(kMutatePercent, clampedMutatePercent(percent));
}

bool Settings::mutateSwitches() const {
    return store_->value(kMutateSwitches, false).toBool();
}

void Settings::setMutateSwitches(bool on) {
    store_->setValue(kMutateSwitches, on);
}

std::optional<std::int64_t> Settings::morphPreset(bool b) const {
    bool ok = false;
    const qlonglong slot = store_->value(b ? kMorphPresetB : kMorphPresetA).toLongLong(&ok);
    return ok && slot >= 0 ? std::optional<std::int64_t>(slot) : std::nullopt;
}

void Settings::setMorphPreset(bool b, std::optional<std::int64_t> slot) {
    if (slot) {
        store_->setValue(b ? kMorphPresetB : kMorphPresetA, QVariant::fromValue<qlonglong>(*slot));
    } else {
        store_->remove(b ? kMorphPresetB : kMorphPresetA);
    }
}

std::filesystem::path Settings::folderPath() const {
    // As bytes: a folder name that is not valid UTF-8 stays the same folder.
    const QByteArray folder = QFile::encodeName(QFileInfo(store_->fileName()).absolutePath());
    return std::filesystem::path(folder.toStdString());
}

}  // namespace tarnwell
