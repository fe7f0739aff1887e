#include "ui/app/settings.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
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
constexpr auto kControllerInput = "controller/input";
constexpr auto kControllerThru = "controller/thru";
constexpr auto kMappingsFileName = "controller-mappings.json";
constexpr auto kLockedParameters = "explore/lockedParameters";
constexpr auto kMutatePercent = "explore/mutatePercent";
constexpr auto kMutateSwitches = "explore/mutateSwitches";
constexpr auto kMorphPresetA = "explore/morphPresetA";
constexpr auto kMorphPresetB = "explore/morphPresetB";

// The desktop's configuration folder as the system names it, in bytes:
// $XDG_CONFIG_HOME, or ~/.config.
QByteArray configFolder() {
    QByteArray folder = qgetenv("XDG_CONFIG_HOME");
    if (!folder.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        if (home.isEmpty()) {
            return {};
        }
        folder = home + "/.config";
    }
    return folder;
}

// Whether a QString can name this path: false when its bytes are not valid
// in the locale's encoding (a home folder named under another one), which
// Qt would replace with look-alike characters, naming another folder.
bool qtCanName(const QByteArray& path) {
    return QFile::encodeName(QFile::decodeName(path)) == path;
}

// Why `file` (as the store opens it) cannot be read or written, for the user.
QString reasonFor(const QString& file) {
    const QFileInfo info(file);
    if (info.isDir()) {
        return QCoreApplication::translate("Settings", "it is a folder");
    }
    if (info.exists() && !info.isReadable()) {
        return QCoreApplication::translate("Settings", "it cannot be read");
    }
    if (info.exists() && !info.isWritable()) {
        return QCoreApplication::translate("Settings", "it is read-only");
    }
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists()) {
        return QCoreApplication::translate("Settings", "its folder cannot be made");
    }
    if (!folder.isDir()) {
        return QCoreApplication::translate("Settings", "a file stands where its folder should be");
    }
    if (!folder.isWritable()) {
        return QCoreApplication::translate("Settings", "its folder is read-only");
    }
    return QCoreApplication::translate("Settings", "access denied");
}

}  // namespace

Settings::Settings(const QString& file) {
    if (!file.isEmpty()) {
        store_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
        shownName_ = file;
        folder_ = QFile::encodeName(QFileInfo(file).absolutePath());
    } else if (const QByteArray folder = configFolder(); folder.isEmpty() || qtCanName(folder)) {
        store_ = std::make_unique<QSettings>();
        shownName_ = store_->fileName();
        folder_ = QFile::encodeName(QFileInfo(shownName_).absolutePath());
    } else {
        // The same file Qt would use, reached through a descriptor of its
        // folder, so the name's bytes never pass through a QString. Only
        // the two folders Qt would make are made.
        const QByteArray own =
            folder + '/' + QFile::encodeName(QCoreApplication::organizationName());
        ::mkdir(folder.constData(), 0777);
        ::mkdir(own.constData(), 0777);
        folderFd_ = ::open(own.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const QString name = QCoreApplication::applicationName() + ".conf";
        shownName_ = QFile::decodeName(own) + '/' + name;
        folder_ = own;
        store_ = std::make_unique<QSettings>(
            QString("/proc/self/fd/%1/%2").arg(folderFd_).arg(name), QSettings::IniFormat);
    }
    check(false);
}

Settings::~Settings() {
    store_.reset();
    if (folderFd_ >= 0) {
        ::close(folderFd_);
    }
}

void Settings::set(const QString& key, const QVariant& value) {
    // An unchanged value is not written again (the destination is set on
    // every change of the MIDI setup).
    if (store_->contains(key) && store_->value(key) == value) {
        return;
    }
    store_->setValue(key, value);
    commit();
}

void Settings::commit() {
    store_->sync();
    check(true);
}

void Settings::onFailure(std::function<void(const QString&)> tell) {
    tell_ = std::move(tell);
    if (!failure_.isEmpty() && !told_ && tell_) {
        told_ = true;
        tell_(failure_);
    }
}

void Settings::check(bool afterWrite) {
    if (!failure_.isEmpty() || store_->status() != QSettings::AccessError) {
        return;
    }
    const QString reason = reasonFor(store_->fileName());
    failure_ = afterWrite ? QCoreApplication::translate(
                                "Settings", "Settings are not kept: could not write %1: %2")
                                .arg(shownName_, reason)
                          : QCoreApplication::translate(
                                "Settings", "Settings could not be read and are not kept: %1: %2")
                                .arg(shownName_, reason);
    if (tell_) {
        told_ = true;
        tell_(failure_);
    }
}

std::optional<std::string> Settings::destination() const {
    const QString name = store_->value(kDestination).toString();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return name.toStdString();
}

void Settings::setDestination(const std::string& name) {
    set(kDestination, QString::fromStdString(name));
}

QByteArray Settings::windowGeometry() const {
    return store_->value(kGeometry).toByteArray();
}

void Settings::setWindowGeometry(const QByteArray& geometry) {
    set(kGeometry, geometry);
}

QString Settings::folder(bool forExport) const {
    return store_->value(forExport ? kExportFolder : kImportFolder).toString();
}

void Settings::setFolder(bool forExport, const QString& folder) {
    set(forExport ? kExportFolder : kImportFolder, folder);
}

bool Settings::sendPanelOnConnect() const {
    return store_->value(kSendPanelOnConnect, false).toBool();
}

void Settings::setSendPanelOnConnect(bool on) {
    set(kSendPanelOnConnect, on);
}

bool Settings::restorePresetsAtStart() const {
    return store_->value(kRestorePresets, false).toBool();
}

void Settings::setRestorePresetsAtStart(bool on) {
    set(kRestorePresets, on);
}

bool Settings::resumeAtStart() const {
    return store_->value(kResumeAtStart, false).toBool();
}

void Settings::setResumeAtStart(bool on) {
    set(kResumeAtStart, on);
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
    set(kLockedParameters, numbers.join(' '));
}

int Settings::mutatePercent() const {
    bool ok = false;
    const int percent = store_->value(kMutatePercent, kDefaultMutatePercent).toInt(&ok);
    return ok ? clampedMutatePercent(percent) : kDefaultMutatePercent;
}

void Settings::setMutatePercent(int percent) {
    set(kMutatePercent, clampedMutatePercent(percent));
}

bool Settings::mutateSwitches() const {
    return store_->value(kMutateSwitches, false).toBool();
}

void Settings::setMutateSwitches(bool on) {
    set(kMutateSwitches, on);
}

std::optional<std::int64_t> Settings::morphPreset(bool b) const {
    bool ok = false;
    const qlonglong slot = store_->value(b ? kMorphPresetB : kMorphPresetA).toLongLong(&ok);
    return ok && slot >= 0 ? std::optional<std::int64_t>(slot) : std::nullopt;
}

void Settings::setMorphPreset(bool b, std::optional<std::int64_t> slot) {
    if (slot) {
        set(b ? kMorphPresetB : kMorphPresetA, QVariant::fromValue<qlonglong>(*slot));
    } else if (store_->contains(b ? kMorphPresetB : kMorphPresetA)) {
        store_->remove(b ? kMorphPresetB : kMorphPresetA);
        commit();
    }
}

std::filesystem::path Settings::folderPath() const {
    return std::filesystem::path(folder_.toStdString());
}

}  // namespace tarnwell
