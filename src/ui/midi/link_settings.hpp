#pragma once

#include "core/midi/link_speed.hpp"

class QSettings;

namespace tarnwell {

// The link choices as the shell keeps them between runs: the DIN pacing
// switch and the destinations marked DIN, by name.
[[nodiscard]] LinkChoices loadLinkChoices(QSettings& settings);
void saveLinkChoices(QSettings& settings, const LinkChoices& choices);

}  // namespace tarnwell
