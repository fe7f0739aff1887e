#include "ui/midi/link_settings.hpp"

#include <QSettings>
#include <QtGlobal>

namespace tarnwell {

namespace {

constexpr auto kGroup = "midiLinks";
constexpr auto kPacing = "dinPacing";
constexpr auto kDinDestinations = "dinDestinations";
constexpr auto kName = "name";
// More destinations than any studio has; a larger count in the file is
// damage, and reading it would look up that many entries while starting.
constexpr int kMaxListEntries = 1024;

}  // namespace

// Names are stored as array values, not keys, so JACK's "client:port" and
// any other character survive.
LinkChoices loadLinkChoices(QSettings& settings) {
    LinkChoices choices;
    settings.beginGroup(kGroup);
    choices.dinPacing = settings.value(kPacing, false).toBool();
    int count = settings.beginReadArray(kDinDestinations);
    if (count > kMaxListEntries) {
        qWarning("tarnwell: %s/%s/size in %s is %d; reading at most %d entries", kGroup,
                 kDinDestinations, qPrintable(settings.fileName()), count, kMaxListEntries);
        count = kMaxListEntries;
    }
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const QString name = settings.value(kName).toString();
        if (!name.isEmpty()) {
            choices.speeds[name.toStdString()] = LinkSpeed::din;
        }
    }
    settings.endArray();
    settings.endGroup();
    return choices;
}

void saveLinkChoices(QSettings& settings, const LinkChoices& choices) {
    settings.beginGroup(kGroup);
    settings.remove("");
    settings.setValue(kPacing, choices.dinPacing);
    settings.beginWriteArray(kDinDestinations);
    int i = 0;
    for (const auto& [name, speed] : choices.speeds) {
        if (speed != LinkSpeed::din) {
            continue;
        }
        settings.setArrayIndex(i++);
        settings.setValue(kName, QString::fromStdString(name));
    }
    settings.endArray();
    settings.endGroup();
}

}  // namespace tarnwell
