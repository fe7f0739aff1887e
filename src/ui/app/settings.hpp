#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QVariant>

class QSettings;

namespace tarnwell {

// What the panel remembers between runs, in the desktop's configuration
// folder (on Linux ~/.config/Tarnwell/Tarnwell.conf), or in the file given.
// Destinations are remembered by name, not by position: positions change
// whenever devices come and go.
//
// Every change is written at once and checked; the first failure to read or
// write the file is told once (see onFailure), later ones are not.
//
// Threading: main thread only.
class Settings {
public:
    // An empty `file`: the platform's place for the application's settings.
    explicit Settings(const QString& file = {});
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    [[nodiscard]] std::optional<std::string> destination() const;
    void setDestination(const std::string& name);

    [[nodiscard]] QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray& geometry);

    // The folder of the last import or export; empty when none yet.
    [[nodiscard]] QString folder(bool forExport) const;
    void setFolder(bool forExport, const QString& folder);

    [[nodiscard]] bool sendPanelOnConnect() const;
    void setSendPanelOnConnect(bool on);
    [[nodiscard]] bool restorePresetsAtStart() const;
    void setRestorePresetsAtStart(bool on);
    [[nodiscard]] bool resumeAtStart() const;
    void setResumeAtStart(bool on);
    // The hardware controller's input source, by name: whether one was ever
    // chosen (None counts), and which (empty for None).
    [[nodiscard]] bool hasControllerInput() const;
    [[nodiscard]] std::optional<std::string> controllerInput() const;
    void setControllerInput(const std::optional<std::string>& name);
    // "Pass Other Messages to the Synth".
    [[nodiscard]] bool controllerThru() const;
    void setControllerThru(bool on);
    // The controller mappings, kept beside the settings.
    [[nodiscard]] std::filesystem::path mappingsFile() const;
    // Exploring sounds: the locked parameters (by index; entries outside the
    // parameters are dropped when read), Mutate's reach in percent (1-100,
    // 10 at first) and whether the switches take part, and the morph's
    // presets by slot.
    [[nodiscard]] std::vector<std::int64_t> lockedParameters() const;
    void setLockedParameters(const std::vector<std::int64_t>& indices);
    [[nodiscard]] int mutatePercent() const;
    void setMutatePercent(int percent);
    [[nodiscard]] bool mutateSwitches() const;
    void setMutateSwitches(bool on);
    [[nodiscard]] std::optional<std::int64_t> morphPreset(bool b) const;
    void setMorphPreset(bool b, std::optional<std::int64_t> slot);

    // The folder the settings live in, where the panel keeps its other
    // files of its own (the sound to resume).
    [[nodiscard]] std::filesystem::path folderPath() const;

    // The store itself, for the parts that keep their own keys in it; they
    // call commit() after a change.
    [[nodiscard]] QSettings& store() { return *store_; }
    // Writes the changes to the file now and checks they reached it.
    void commit();

    // `tell` receives, once per run, why the settings could not be read or
    // a change could not be kept, in words for the user. A failure met
    // before it is set is told at once.
    void onFailure(std::function<void(const QString&)> tell);

private:
    void set(const QString& key, const QVariant& value);
    void check(bool afterWrite);

    // Open on the settings folder when its name cannot pass through Qt's
    // strings; the store then reaches the file through /proc/self/fd.
    int folderFd_ = -1;
    std::unique_ptr<QSettings> store_;
    // The file as the user knows it, and its folder as the system names it.
    QString shownName_;
    QByteArray folder_;
    std::function<void(const QString&)> tell_;
    QString failure_;
    bool told_ = false;
};

}  // namespace tarnwell
