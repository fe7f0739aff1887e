#include "core/control/control_engine.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarnwell {

namespace {

constexpr std::uint16_t kMiddle = 8192;
constexpr std::uint8_t kSustain = 64;

// One key per source a mapping can match: a 14-bit pair is found under its
// MSB controller, so a 7-bit mapping of that controller takes the pair's
// moves (a controller that starts sending its LSB) and a 14-bit mapping takes
// MSB-only moves.
std::uint32_t sourceKey(const SourceId& id) {
    const SourceKind kind =
        id.kind == SourceKind::controlChange14 ? SourceKind::controlChange : id.kind;
    return static_cast<std::uint32_t>(kind) << 24 | static_cast<std::uint32_t>(id.channel) << 16 |
           id.number;
}

// The largest difference between two values of `info` that still counts as
// the same value: what a control's own rounding may leave.
double sameValueTolerance(const ControlInfo& info) {
    return (info.maximum - info.minimum) * 1e-9;
}

}  // namespace

ControlEngine::ControlEngine(ControlTarget& target, ThruSink* thru)
    : target_(target), thruSink_(thru) {}

ControlEngine::~ControlEngine() = default;

// --- Mappings ------------------------------------------------------------

std::size_t ControlEngine::setMappings(std::vector<Mapping> mappings) {
    releaseHeld();
    const std::size_t offered = mappings.size();
    std::erase_if(mappings, [](const Mapping& m) { return !mappingProblem(m).empty(); });
    if (mappings.size() > kMaxMappings) {
        mappings.resize(kMaxMappings);
    }
    const std::size_t left = offered - mappings.size();
    mappings_ = std::move(mappings);
    runtime_.assign(mappings_.size(), Runtime{});
    rebuildIndex();
    mappingsChanged.emit();
    return left;
}

bool ControlEngine::addMapping(const Mapping& mapping) {
    if (!mappingProblem(mapping).empty() || mappings_.size() >= kMaxMappings) {
        return false;
    }
    mappings_.push_back(mapping);
    runtime_.emplace_back();
    rebuildIndex();
    mappingsChanged.emit();
    return true;
}

void ControlEngine::removeMapping(std::size_t index) {
    if (index >= mappings_.size()) {
        return;
    }
    release(index);
    mappings_.erase(mappings_.begin() + static_cast<std::ptrdiff_t>(index));
    runtime_.erase(runtime_.begin() + static_cast<std::ptrdiff_t>(index));
    rebuildIndex();
    mappingsChanged.emit();
}

bool ControlEngine::replaceMapping(std::size_t index, const Mapping& mapping) {
    if (index >= mappings_.size() || !mappingProblem(mapping).empty()) {
        return false;
    }
    release(index);
    mappings_[index] = mapping;
    runtime_[index] = Runtime{};
    rebuildIndex();
    mappingsChanged.emit();
    return true;
}

void ControlEngine::forgetControl(ControlId control) {
    bool removed = false;
    for (std::size_t i = mappings_.size(); i-- > 0;) {
        if (mappings_[i].control == control) {
            release(i);
            mappings_.erase(mappings_.begin() + static_cast<std::ptrdiff_t>(i));
            runtime_.erase(runtime_.begin() + static_cast<std::ptrdiff_t>(i));
            removed = true;
        }
    }
    if (removed) {
        rebuildIndex();
        mappingsChanged.emit();
    }
}

std::vector<Mapping> ControlEngine::mappingsOf(ControlId control) const {
    std::vector<Mapping> out;
    for (const Mapping& m : mappings_) {
        if (m.control == control) {
            out.push_back(m);
        }
    }
    return out;
}

void ControlEngine::rebuildIndex() {
    index_.clear();
    index_.reserve(mappings_.size());
    std::array<std::uint32_t, 16> pairs{};
    std::array<std::uint32_t, 16> plainLsb{};
    for (std::size_t i = 0; i < mappings_.size(); ++i) {
        const SourceId& source = mappings_[i].source;
        index_.emplace_back(sourceKey(source), static_cast<std::uint32_t>(i));
        if (source.kind == SourceKind::controlChange14) {
            pairs[source.channel] |= 1U << source.number;
        } else if (source.kind == SourceKind::controlChange && source.number >= 32 &&
                   source.number < 64) {
            plainLsb[source.channel] |= 1U << (source.number - 32);
        }
    }
    std::sort(index_.begin(), index_.end());
    recognizer_.setPairHints(pairs, plainLsb);
}

void ControlEngine::releaseHeld() {
    for (std::size_t i = 0; i < mappings_.size(); ++i) {
        release(i);
    }
}

// --- Input ---------------------------------------------------------------

std::size_t ControlEngine::drain(MidiInputRing& ring, std::size_t maxRecords) {
    const std::size_t count = std::min(ring.readable(), maxRecords);
    for (std::size_t i = 0; i < count; ++i) {
        receive(ring.peek(i));
    }
    ring.commit(count);
    return count;
}

void ControlEngine::receive(const MidiInputEvent& record) {
    if (record.stream >= kMaxInputStreams) {
        return;
    }
    if ((record.flags & MidiInputEvent::kGapBefore) != 0) {
        ++gaps_;
        streamLost(record.stream);
    }
    MidiStreamParser& parser = parsers_[record.stream];
    const std::size_t size = std::min<std::size_t>(record.size, kInputChunkBytes);
    for (std::size_t i = 0; i < size; ++i) {
        parser.feed(record.bytes[i], record.time, record.stream,
                    [this](const MidiMessage& message) { recognizer_.process(message, *this); });
    }
}

void ControlEngine::receive(std::uint8_t stream, std::int64_t time,
                            std::span<const std::uint8_t> bytes) {
    MidiInputEvent record;
    record.stream = stream;
    record.time = time;
    while (!bytes.empty()) {
        const std::size_t size = std::min(bytes.size(), kInputChunkBytes);
        std::copy_n(bytes.begin(), size, record.bytes.begin());
        record.size = static_cast<std::uint8_t>(size);
        receive(record);
        bytes = bytes.subspan(size);
    }
}

void ControlEngine::streamLost(std::uint8_t stream) {
    if (stream >= kMaxInputStreams) {
        return;
    }
    parsers_[stream].reset();
    recognizer_.reset(stream);
    if (learnCandidate_ && candidate_.stream == stream) {
        learnCandidate_ = false;
    }
    for (std::size_t i = 0; i < mappings_.size(); ++i) {
        Runtime& rt = runtime_[i];
        if (rt.stream != stream) {
            continue;
        }
        if (rt.held) {
            release(i);
        }
        rt.level = false;
        rt.following = false;
        rt.knobKnown = false;
    }
    endThruNotes(stream);
}

void ControlEngine::sourceMoved(const SourceEvent& event) {
    if (learning_ && learnFrom(event)) {
        return;
    }
    const std::uint32_t key = sourceKey(event.id);
    auto it = std::lower_bound(index_.begin(), index_.end(),
                               std::pair<std::uint32_t, std::uint32_t>{key, 0});
    if (it == index_.end() || it->first != key) {
        forwardThru(event);
        return;
    }
    for (; it != index_.end() && it->first == key; ++it) {
        apply(it->second, event);
    }
}

void ControlEngine::otherMessage(const MidiMessage& message) {
    forward(message.wire(), message.stream);
}

// --- Applying a move -----------------------------------------------------

void ControlEngine::apply(std::size_t index, const SourceEvent& event) {
    const Mapping& mapping = mappings_[index];
    const ControlInfo& info = controlInfo(mapping.control);
    Runtime& rt = runtime_[index];
    rt.stream = event.stream;
    if (held_[controlSlot(mapping.control)]) {
        return;
    }

    if (event.action == SourceAction::increment || event.action == SourceAction::decrement) {
        if (mapping.mode == MappingMode::absolute) {
            applyStep(index, event.action == SourceAction::increment ? 1 : -1);
        }
        return;
    }
    if (isRelative(mapping.mode)) {
        // A relative encoder sends 7-bit steps; a pair's fine moves are no steps.
        if (event.id.kind == SourceKind::controlChange) {
            applyStep(index, relativeDelta(mapping.mode, event.raw));
        }
        return;
    }

    bool pressed = false;
    if (event.action == SourceAction::press || event.action == SourceAction::release) {
        // Every note-on presses, so pads that send no note-off still toggle.
        pressed = (event.action == SourceAction::press) != mapping.inverted;
        rt.level = pressed;
    } else {
        if (info.type == ControlType::continuous && mapping.mode == MappingMode::absolute) {
            applyAbsolute(index, event);
            return;
        }
        pressed = (event.value >= kMiddle) != mapping.inverted;
        if (pressed == rt.level) {
            return;
        }
        rt.level = pressed;
    }
    if (info.type == ControlType::onOff && mapping.mode == MappingMode::absolute) {
        queue(CommandKind::setOn, controlSlot(mapping.control), pressed ? 1.0 : 0.0);
        return;
    }
    applyPress(index, pressed);
}

void ControlEngine::applyAbsolute(std::size_t index, const SourceEvent& event) {
    const Mapping& mapping = mappings_[index];
    const ControlInfo& info = controlInfo(mapping.control);
    Runtime& rt = runtime_[index];
    const std::size_t slot = controlSlot(mapping.control);

    double t = static_cast<double>(event.value) / 16383.0;
    if (mapping.inverted) {
        t = 1.0 - t;
    }
    const double span = mapping.maximum - mapping.minimum;
    const double x = mapping.minimum + t * span;

    if (mapping.pickup == Pickup::softTakeover) {
        const double current = effectiveValue(slot);
        if (rt.following &&
            !(rt.setKnown && std::abs(current - rt.lastSet) <= sameValueTolerance(info))) {
            rt.following = false;  // the panel moved by other means
        }
        if (!rt.following) {
            const double target = std::clamp(current, mapping.minimum, mapping.maximum);
            const double step = span / (event.fine ? 8191.5 : 127.0);
            const bool reached = std::abs(x - target) <= step;
            const bool crossed = rt.knobKnown && (rt.knob - target) * (x - target) <= 0.0;
            rt.following = reached || crossed;
        }
        rt.knob = x;
        rt.knobKnown = true;
        if (!rt.following) {
            return;
        }
    } else {
        rt.following = true;
    }
    rt.lastSet = x;
    rt.setKnown = true;
    setPending(slot, x);
}

void ControlEngine::applyStep(std::size_t index, int steps) {
    if (steps == 0) {
        return;
    }
    const Mapping& mapping = mappings_[index];
    const ControlInfo& info = controlInfo(mapping.control);
    const std::size_t slot = controlSlot(mapping.control);
    if (mapping.inverted) {
        steps = -steps;
    }
    switch (info.type) {
        case ControlType::continuous: {
            const double step = (mapping.maximum - mapping.minimum) / mapping.relativeSteps;
            const double current =
                std::clamp(effectiveValue(slot), mapping.minimum, mapping.maximum);
            const double x = std::clamp(current + steps * step, mapping.minimum, mapping.maximum);
            Runtime& rt = runtime_[index];
            rt.lastSet = x;
            rt.setKnown = true;
            setPending(slot, x);
            return;
        }
        case ControlType::onOff:
            queue(CommandKind::setOn, slot, steps > 0 ? 1.0 : 0.0);
            return;
        case ControlType::action:
            return;
    }
}

void ControlEngine::applyPress(std::size_t index, bool pressed) {
    const Mapping& mapping = mappings_[index];
    const ControlInfo& info = controlInfo(mapping.control);
    const std::size_t slot = controlSlot(mapping.control);
    Runtime& rt = runtime_[index];
    const bool momentary = mapping.mode == MappingMode::momentary;
    if (momentary) {
        if (pressed == rt.held) {
            return;
        }
        rt.held = pressed;
    } else if (!pressed) {
        return;
    }
    switch (info.type) {
        case ControlType::continuous: {
            double x = mapping.maximum;
            if (momentary) {
                x = pressed ? mapping.maximum : mapping.minimum;
            } else if (effectiveValue(slot) >= (mapping.minimum + mapping.maximum) / 2.0) {
                x = mapping.minimum;
            }
            rt.lastSet = x;
            rt.setKnown = true;
            queue(CommandKind::setValue, slot, x);
            return;
        }
        case ControlType::onOff: {
            const bool on = momentary ? pressed : effectiveValue(slot) < 0.5;
            queue(CommandKind::setOn, slot, on ? 1.0 : 0.0);
            return;
        }
        case ControlType::action:
            if (pressed) {
                queue(CommandKind::press, slot, 1.0);
            }
            return;
    }
}

void ControlEngine::release(std::size_t index) {
    if (index < runtime_.size() && runtime_[index].held) {
        applyPress(index, false);
    }
}

double ControlEngine::effectiveValue(std::size_t slot) const {
    if (hasPending_[slot]) {
        return pending_[slot];
    }
    if (hasEffective_[slot]) {
        return effective_[slot];
    }
    return target_.value(learnableControls()[slot].id);
}

void ControlEngine::setPending(std::size_t slot, double value) {
    if (!hasPending_[slot]) {
        hasPending_[slot] = true;
        dirty_[dirtyCount_++] = static_cast<std::uint16_t>(slot);
    }
    pending_[slot] = value;
}

void ControlEngine::queue(CommandKind kind, std::size_t slot, double value) {
    // A value still pending for this control came first: it goes first.
    const bool flushPending = hasPending_[slot];
    if (commandCount_ + (flushPending ? 2 : 1) > commands_.size()) {
        ++commandsDropped_;
        return;
    }
    if (flushPending) {
        hasPending_[slot] = false;
        commands_[commandCount_++] = {CommandKind::setValue, static_cast<std::uint16_t>(slot),
                                      pending_[slot]};
        effective_[slot] = pending_[slot];
        hasEffective_[slot] = true;
    }
    commands_[commandCount_++] = {kind, static_cast<std::uint16_t>(slot), value};
    if (kind != CommandKind::press) {
        effective_[slot] = value;
        hasEffective_[slot] = true;
    }
}

void ControlEngine::frame(std::chrono::nanoseconds now) {
    recognizer_.flush(now.count(), *this);
    if (learnCandidate_ &&
        now.count() - candidate_.time >=
            std::chrono::duration_cast<std::chrono::nanoseconds>(kLearnPairWait).count()) {
        learnCandidate_ = false;
        bindLearned(candidate_);
    }

    // Taken out first: the target may call back into the engine (setHeld, a
    // learn, new mappings) while it applies them.
    std::array<Command, kMaxCommandsPerFrame> commands;
    const std::size_t commandCount = std::exchange(commandCount_, 0);
    std::copy_n(commands_.begin(), commandCount, commands.begin());
    std::array<std::pair<std::uint16_t, double>, kControlCount> values;
    std::size_t valueCount = 0;
    for (std::size_t i = 0; i < dirtyCount_; ++i) {
        const std::uint16_t slot = dirty_[i];
        if (hasPending_[slot]) {
            values[valueCount++] = {slot, pending_[slot]};
        }
    }
    dirtyCount_ = 0;
    hasPending_.reset();
    hasEffective_.reset();

    for (std::size_t i = 0; i < commandCount; ++i) {
        const Command& command = commands[i];
        if (held_[command.slot]) {
            continue;
        }
        const ControlId control = learnableControls()[command.slot].id;
        switch (command.kind) {
            case CommandKind::setValue:
                target_.setValue(control, command.value);
                break;
            case CommandKind::setOn:
                target_.setOn(control, command.value >= 0.5);
                break;
            case CommandKind::press:
                target_.press(control);
                break;
        }
    }
    for (std::size_t i = 0; i < valueCount; ++i) {
        const auto [slot, value] = values[i];
        if (!held_[slot]) {
            target_.setValue(learnableControls()[slot].id, value);
        }
    }
}

std::optional<std::chrono::nanoseconds> ControlEngine::wakeAt() const {
    std::optional<std::chrono::nanoseconds> at;
    if (const auto flush = recognizer_.nextFlush()) {
        at = std::chrono::nanoseconds(*flush);
    }
    if (learnCandidate_) {
        const auto due = std::chrono::nanoseconds(candidate_.time) + kLearnPairWait;
        if (!at || due < *at) {
            at = due;
        }
    }
    return at;
}

// --- Learn ----------------------------------------------------------------

void ControlEngine::beginLearn(ControlId control) {
    if (!isValidControl(control)) {
        return;
    }
    learning_ = true;
    learnControl_ = control;
    learnCandidate_ = false;
}

void ControlEngine::cancelLearn() {
    learning_ = false;
    learnCandidate_ = false;
}

std::optional<ControlId> ControlEngine::learning() const {
    return learning_ ? std::optional<ControlId>(learnControl_) : std::nullopt;
}

bool ControlEngine::learnFrom(const SourceEvent& event) {
    if (learnCandidate_) {
        const SourceEvent held = candidate_;
        learnCandidate_ = false;
        if (event.id.kind == SourceKind::controlChange14 && event.id.channel == held.id.channel &&
            event.id.number == held.id.number && event.stream == held.stream) {
            bindLearned(event);
            return true;
        }
        bindLearned(held);
        return false;  // the learn is over; this move goes on as usual
    }
    if (event.action == SourceAction::release) {
        return false;
    }
    if (event.id.kind == SourceKind::controlChange && event.id.number < 32 &&
        !recognizer_.pairKnown(event.stream, event.id.channel,
                               static_cast<std::uint8_t>(event.id.number))) {
        // Perhaps the MSB of a pair: its LSB, if any, comes next.
        candidate_ = event;
        learnCandidate_ = true;
        return true;
    }
    bindLearned(event);
    return true;
}

void ControlEngine::bindLearned(const SourceEvent& event) {
    if (!learning_) {
        return;
    }
    learning_ = false;
    const Mapping mapping = proposeMapping(learnControl_, event.id);
    std::vector<Mapping> kept;
    kept.reserve(mappings_.size() + 1);
    std::vector<Runtime> keptRuntime;
    keptRuntime.reserve(mappings_.size() + 1);
    for (std::size_t i = 0; i < mappings_.size(); ++i) {
        if (mappings_[i].control == mapping.control) {
            release(i);
            continue;
        }
        kept.push_back(mappings_[i]);
        keptRuntime.push_back(runtime_[i]);
    }
    if (kept.size() >= kMaxMappings) {
        return;
    }
    kept.push_back(mapping);
    Runtime rt;
    rt.stream = event.stream;
    if (event.action == SourceAction::value) {
        // The knob is where the learn saw it; pickup starts from there.
        double t = static_cast<double>(event.value) / 16383.0;
        rt.knob = mapping.minimum + t * (mapping.maximum - mapping.minimum);
        rt.knobKnown = true;
        rt.level = event.value >= kMiddle;
    } else if (event.action == SourceAction::press) {
        rt.level = true;
    }
    keptRuntime.push_back(rt);
    mappings_ = std::move(kept);
    runtime_ = std::move(keptRuntime);
    rebuildIndex();
    learned.emit(mapping);
    mappingsChanged.emit();
}

// --- Thru -----------------------------------------------------------------

void ControlEngine::setThru(bool on) {
    if (thru_ && !on) {
        for (std::uint8_t stream = 0; stream < kMaxInputStreams; ++stream) {
            endThruNotes(stream);
        }
    }
    thru_ = on;
}

void ControlEngine::forwardThru(const SourceEvent& event) {
    if (!thru_ || thruSink_ == nullptr) {
        return;
    }
    const std::uint8_t channel = event.id.channel;
    if (event.id.kind == SourceKind::note) {
        thruNotes_[event.stream][channel][event.id.number] = event.action == SourceAction::press;
    } else if (event.id.kind == SourceKind::controlChange && event.id.number == kSustain) {
        const auto bit = static_cast<std::uint16_t>(1U << channel);
        thruSustain_[event.stream] = event.raw >= 64 ? (thruSustain_[event.stream] | bit)
                                                     : (thruSustain_[event.stream] & ~bit);
    }
    thruSink_->forward({event.wire.data(), event.wireSize});
}

void ControlEngine::forward(std::span<const std::uint8_t> bytes, std::uint8_t) {
    if (thru_ && thruSink_ != nullptr) {
        thruSink_->forward(bytes);
    }
}

void ControlEngine::endThruNotes(std::uint8_t stream) {
    auto& notes = thruNotes_[stream];
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        if (notes[channel].any()) {
            for (std::uint8_t note = 0; note < 128; ++note) {
                if (notes[channel][note] && thruSink_ != nullptr) {
                    const std::array<std::uint8_t, 3> off{static_cast<std::uint8_t>(0x80 | channel),
                                                          note, 0};
                    thruSink_->forward(off);
                }
            }
            notes[channel].reset();
        }
        if ((thruSustain_[stream] >> channel & 1U) != 0 && thruSink_ != nullptr) {
            const std::array<std::uint8_t, 3> up{static_cast<std::uint8_t>(0xB0 | channel),
                                                 kSustain, 0};
            thruSink_->forward(up);
        }
    }
    thruSustain_[stream] = 0;
}

// --- State for views --------------------------------------------------------

PickupState ControlEngine::pickupState(std::size_t mappingIndex) const {
    if (mappingIndex >= mappings_.size()) {
        return PickupState::none;
    }
    const Mapping& mapping = mappings_[mappingIndex];
    const ControlInfo& info = controlInfo(mapping.control);
    if (mapping.pickup != Pickup::softTakeover || mapping.mode != MappingMode::absolute ||
        info.type != ControlType::continuous) {
        return PickupState::none;
    }
    const Runtime& rt = runtime_[mappingIndex];
    const bool inStep = rt.following && rt.setKnown &&
                        std::abs(effectiveValue(controlSlot(mapping.control)) - rt.lastSet) <=
                            sameValueTolerance(info);
    return inStep ? PickupState::following : PickupState::waiting;
}

bool ControlEngine::waitingForPickup(ControlId control) const {
    for (std::size_t i = 0; i < mappings_.size(); ++i) {
        if (mappings_[i].control == control && pickupState(i) == PickupState::waiting) {
            return true;
        }
    }
    return false;
}

void ControlEngine::setHeld(ControlId control, bool held) {
    const std::size_t slot = controlSlot(control);
    if (slot >= kControlCount) {
        return;
    }
    held_[slot] = held;
    if (held) {
        hasPending_[slot] = false;
    }
}

ControlInputCounts ControlEngine::counts() const {
    ControlInputCounts out;
    for (const MidiStreamParser& parser : parsers_) {
        const MidiParseCounts& c = parser.counts();
        out.parse.messages += c.messages;
        out.parse.strayBytes += c.strayBytes;
        out.parse.interrupted += c.interrupted;
        out.parse.sysex += c.sysex;
    }
    out.gaps = gaps_;
    out.incompleteSelections = recognizer_.incompleteSelections();
    out.commandsDropped = commandsDropped_;
    return out;
}

}  // namespace tarnwell
