#include "ui/midi/link_settings.hpp"

#include <QSettings>

namespace tarnwell {

namespace {

constexpr auto kGroup = "midiLinks";
constexpr auto kPacing = "dinPacing";
constexpr auto kDinDestinations = "dinDestinations";
constexpr auto kName = "name";

}  // namespace

// Names are stored as array values, not keys, so JACK's "client:port" and
// any other character survive.
LinkChoices loadLinkChoices(QSettings& settings) {
    LinkChoices choices;
    settings.beginGroup(kGroup);
    choices.dinPacing = settings.value(kPacing, false).toBool();
    const int count = settings.beginReadArray(kDinDestinations);
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
