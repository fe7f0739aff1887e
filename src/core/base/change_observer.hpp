#pragma once

#include <string_view>

namespace tarnwell {

// Told by the model's parts just before a user action changes the sound, so
// the change can be undone. A gesture (one drag of a slider) groups every
// change made between its begin and end into one action.
//
// Threading: main thread only.
class ChangeObserver {
public:
    virtual ~ChangeObserver() = default;
    // `action` names what is about to happen, as a menu shows it ("dice").
    virtual void willChange(std::string_view action) = 0;
    virtual void beginGesture() = 0;
    virtual void endGesture() = 0;
};

}  // namespace tarnwell
