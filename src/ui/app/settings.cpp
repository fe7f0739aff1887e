#include "ui/app/settings.hpp"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace tarnwell {

namespace {

constexpr auto kDestination = "midi/destination";
constexpr auto kGeometry = "window/geometry";
constexpr auto kImportFolder = "folders/import";
constexpr auto kExportFolder = "folders/export";
constexpr auto kSendPanelOnConnect = "options/sendPanelOnConnect";
constexpr auto kRestorePresets = "options/restorePresetsAtStart";
constexpr auto kResumeAtStart = "options/resumeAtStart";
constexpr auto kControllerInput = "controller/input";
constexpr auto kControllerThru = "controller/thru";
constexpr auto kMappingsFileName = "controller-mappings.json";

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

bool Settings::hasControllerInput() const {
    return store_->contains(kControllerInput);
}

std::optional<std::string> Settings::controllerInput() const {
    const QString name = store_->value(kControllerInput).toString();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return name.toStdString();
}

void Settings::setControllerInput(const std::optional<std::string>& name) {
    store_->setValue(kControllerInput, name ? QString::fromStdString(*name) : QString());
}

bool Settings::controllerThru() const {
    return store_->value(kControllerThru, false).toBool();
}

void Settings::setControllerThru(bool on) {
    store_->setValue(kControllerThru, on);
}

std::filesystem::path Settings::mappingsFile() const {
    return folderPath() / kMappingsFileName;
}

std::filesystem::path Settings::folderPath() const {
    // As bytes: a folder name that is not valid UTF-8 stays the same folder.
    const QByteArray folder = QFile::encodeName(QFileInfo(store_->fileName()).absolutePath());
    return std::filesystem::path(folder.toStdString());
}

}  // namespace tarnwell
