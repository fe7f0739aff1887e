#include "core/control/controller_input.hpp"

#include <algorithm>

#include "core/base/main_queue.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/model.hpp"

namespace tarnwell {

ControllerInput::ControllerInput(Model& model, MainQueue& queue, const TimeSource& clock)
    : midi_(model.midi()),
      queue_(queue),
      clock_(clock),
      target_(model, clock),
      engine_(target_, this),
      self_(std::make_shared<ControllerInput*>(this)) {
    sourcesConnection_ = midi_.sourcesChanged.connect([this] { followSources(); });
}

ControllerInput::~ControllerInput() {
    // The service outlives this: it must stop taking input for a stream
    // nobody reads. The wake signal is the service's to keep.
    if (selected_ != 0) {
        midi_.selectSource(0, stream_);
    }
}

std::vector<std::string> ControllerInput::sourceNames() const {
    std::vector<std::string> names;
    for (const DestinationInfo& source : midi_.sources()) {
        names.push_back(source.name.value_or(std::string()));
    }
    return names;
}

bool ControllerInput::inputPortOpen() const {
    return midi_.inPort() != 0;
}

void ControllerInput::chooseSource(std::optional<std::string> name) {
    if (name && name->empty()) {
        name.reset();
    }
    if (name) {
        midi_.openInput(wake_);
    }
    chosen_ = std::move(name);
    followSources();
}

std::string ControllerInput::sourceStatus() const {
    if (!chosen_) {
        return "None";
    }
    return selected_ != 0 ? *chosen_ : *chosen_ + " (unavailable)";
}

// The source is found by name in every listing. When it vanished (or the
// choice changed) what it had started is ended: its stream is lost, held
// presses are released and the notes thru passed on from it end. A source of
// the chosen name that appears later is taken, whether or not it was there
// when chosen: a controller plugged in after the panel started works.
void ControllerInput::followSources() {
    EndpointRef found = 0;
    if (chosen_ && inputPortOpen()) {
        for (const DestinationInfo& source : midi_.sources()) {
            if (source.name == chosen_) {
                found = source.endpoint;
                break;
            }
        }
    }
    if (found != selected_) {
        if (selected_ != 0) {
            // What the old source sent before it went is still its own.
            midi_.takeInput(*this);
            engine_.streamLost(stream_);
            stream_ = static_cast<std::uint8_t>((stream_ + 1) % kMaxInputStreams);
            pendingInput_ = true;  // released presses apply in a frame
            scheduleFrame(std::chrono::nanoseconds(0));
        }
        selected_ = found;
        midi_.selectSource(found, stream_);
    }
    sourceChanged.emit();
}

MappingFile ControllerInput::mappingFile() const {
    return MappingFile{chosen_, engine_.mappings()};
}

std::size_t ControllerInput::loadMappingFile(const MappingFile& file) {
    const std::size_t left = engine_.setMappings(file.mappings);
    if (file.input && file.input != chosen_) {
        chooseSource(file.input);
    }
    return left;
}

std::uint64_t ControllerInput::droppedInput() const {
    return midi_.droppedInput();
}

std::size_t ControllerInput::service() {
    wake_->take();
    const std::size_t taken = midi_.takeInput(*this);
    if (taken > 0) {
        pendingInput_ = true;
    }
    if (const std::uint64_t lost = droppedInput(); lost != lostTold_) {
        lostTold_ = lost;
        inputLost.emit(lost);
    }
    if (pendingInput_) {
        const auto since = clock_.now() - lastFrame_;
        if (since >= kFrameInterval) {
            runFrame();
        } else {
            scheduleFrame(kFrameInterval - since);
        }
    }
    return taken;
}

void ControllerInput::receive(const MidiInputEvent& record) {
    engine_.receive(record);
}

void ControllerInput::forward(std::span<const std::uint8_t> messages) {
    midi_.sendRawToConnected(messages);
}

void ControllerInput::runFrame() {
    // A frame run now makes any task armed for a later one needless; the
    // engine says below whether it must run again.
    ++armGeneration_;
    armedFor_.reset();
    const auto now = clock_.now();
    lastFrame_ = now;
    pendingInput_ = false;
    ++frames_;
    engine_.frame(now);
    framed.emit();
    if (const auto at = engine_.wakeAt()) {
        scheduleFrame(std::max(*at - now, kFrameInterval));
    }
}

void ControllerInput::scheduleFrame(std::chrono::nanoseconds delay) {
    const auto due = clock_.now() + delay;
    if (armedFor_ && *armedFor_ <= due) {
        return;
    }
    armedFor_ = due;
    const std::uint64_t generation = ++armGeneration_;
    std::weak_ptr<ControllerInput*> weak = self_;
    const auto wait =
        std::max(std::chrono::ceil<std::chrono::milliseconds>(delay), std::chrono::milliseconds(0));
    queue_.postAfter(wait, [weak, generation] {
        const auto self = weak.lock();
        if (!self || (*self)->armGeneration_ != generation) {
            return;
        }
        ControllerInput& input = **self;
        input.armedFor_.reset();
        const auto since = input.clock_.now() - input.lastFrame_;
        if (since < kFrameInterval) {
            input.scheduleFrame(kFrameInterval - since);
            return;
        }
        input.runFrame();
    });
}

}  // namespace tarnwell
