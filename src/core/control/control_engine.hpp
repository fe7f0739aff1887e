#pragma once

#include <array>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/base/signal.hpp"
#include "core/control/controls.hpp"
#include "core/control/mapping.hpp"
#include "core/control/midi_input.hpp"
#include "core/control/midi_source.hpp"

namespace tarnwell {

// The panel as a hardware controller drives it. The engine calls it only from
// `ControlEngine::frame`, on the main thread.
class ControlTarget {
public:
    virtual ~ControlTarget() = default;
    // The control's value in its units; 1 or 0 for an on/off control.
    [[nodiscard]] virtual double value(ControlId control) const = 0;
    // A continuous control moves to `value`, within its range.
    virtual void setValue(ControlId control, double value) = 0;
    // An on/off control turns on or off (nothing happens when it already is).
    virtual void setOn(ControlId control, bool on) = 0;
    // An action control is pressed.
    virtual void press(ControlId control) = 0;
};

// Where passed-on ("thru") messages go: one or more complete messages with
// their status bytes, 1 to 12 bytes, never system-exclusive.
class ThruSink {
public:
    virtual ~ThruSink() = default;
    virtual void forward(std::span<const std::uint8_t> messages) = 0;
};

enum class PickupState : std::uint8_t {
    none,       // the mapping does not need soft takeover (jump, relative, buttons)
    waiting,    // the source must reach or cross the panel's value first
    following,  // the source moves the control
};

struct ControlInputCounts {
    MidiParseCounts parse;   // summed over the input streams
    std::uint64_t gaps = 0;  // places where the ring lost input
    std::uint64_t incompleteSelections = 0;
    std::uint64_t commandsDropped = 0;  // presses beyond what one frame holds
};

// Drives the panel from a hardware controller: parses the raw input, tells
// sources apart, applies the mappings, learns new ones and passes on what no
// mapping takes.
//
// Timing: input is handled as it is drained (`drain` or `receive`): sources
// are recognised, learning and thru happen at once. The panel changes only in
// `frame`, once per window frame: each continuous control gets the latest
// value the frame brought (a knob's 30 messages in a frame make one edit),
// while presses and switches keep every step in order.
//
// Decided behaviours:
// - Soft takeover: an absolute mapping with Pickup::softTakeover waits from
//   the start, and again whenever the panel's value has changed by other
//   means (recall, dice, undo, the mouse, another mapping of the same
//   control), until its source comes within one step of the panel's value or
//   crosses it; then it follows. Relative mappings and buttons never wait.
// - Two mappings on one control both act; the latest move of the frame wins
//   and the other waits for pickup. One source on two controls moves both.
// - Out-of-range values cannot arise: sources are 0-16383, mappings are
//   checked against the control's range, and relative steps stop at the
//   range's ends.
// - A lost input stream (`streamLost`, or lost input in the ring) releases
//   every momentary press it was holding, sends note-offs (and sustain off)
//   for the notes thru had passed on from it, and makes its absolute mappings
//   wait for pickup again: the knobs may have moved meanwhile.
// - Thru (off by default) passes on, unchanged, every message that no mapping
//   takes and learning does not use: notes, pitch bend, sustain, program
//   changes, real-time and system common messages. System-exclusive is never
//   passed on. A message is taken when its source has a mapping, whatever the
//   mapping then does with it. Turning thru off ends the notes it left on.
// - While a control is held by the mouse (`setHeld`), moves for it are taken
//   and ignored.
//
// Threading: main thread only. Drain, receive and frame allocate nothing.
class ControlEngine final : private SourceSink {
public:
    static constexpr std::size_t kMaxMappings = 1024;
    // Presses and switch changes one frame holds; continuous values need none.
    static constexpr std::size_t kMaxCommandsPerFrame = 256;
    // How long a learn waits for the LSB of a controller that may be the MSB
    // of a 14-bit pair.
    static constexpr std::chrono::milliseconds kLearnPairWait{100};

    // `target` and `thru` (when given) must outlive the engine.
    explicit ControlEngine(ControlTarget& target, ThruSink* thru = nullptr);
    ~ControlEngine() override;
    ControlEngine(const ControlEngine&) = delete;
    ControlEngine& operator=(const ControlEngine&) = delete;

    // --- Mappings ---------------------------------------------------------
    [[nodiscard]] const std::vector<Mapping>& mappings() const { return mappings_; }
    // Replaces every mapping. Mappings with a problem (mappingProblem) and
    // those beyond kMaxMappings are left out; returns how many. Momentary
    // presses held by the old mappings are released.
    std::size_t setMappings(std::vector<Mapping> mappings);
    // False (and nothing changes) for a mapping with a problem or when full.
    bool addMapping(const Mapping& mapping);
    void removeMapping(std::size_t index);
    // Puts `mapping` in the place of mapping `index` (an edit in the mappings
    // window); the others keep their state. False (and nothing changes) for
    // an index outside the list or a mapping with a problem.
    bool replaceMapping(std::size_t index, const Mapping& mapping);
    // Removes every mapping of `control` ("Forget Controller").
    void forgetControl(ControlId control);
    [[nodiscard]] std::vector<Mapping> mappingsOf(ControlId control) const;

    // --- Input ------------------------------------------------------------
    // Consumer side of the ring: handles up to `maxRecords` records. Returns
    // how many it took.
    std::size_t drain(MidiInputRing& ring, std::size_t maxRecords = 4096);
    void receive(const MidiInputEvent& record);
    // The bytes of one delivery of `stream`, as a record sequence would carry
    // them.
    void receive(std::uint8_t stream, std::int64_t time, std::span<const std::uint8_t> bytes);
    // Once per window frame: completes 14-bit pairs whose LSB did not come,
    // ends a learn whose pair did not complete, and applies what the frame
    // brought to the target.
    void frame(std::chrono::nanoseconds now);
    // When `frame` must run again even if no input comes: a 14-bit MSB still
    // waits for its LSB, or a learn for a pair's LSB. Nothing when nothing
    // waits, so an idle controller needs no timer.
    [[nodiscard]] std::optional<std::chrono::nanoseconds> wakeAt() const;
    // The source behind `stream` has gone (unplugged, disconnected).
    void streamLost(std::uint8_t stream);

    // --- Thru -------------------------------------------------------------
    void setThru(bool on);
    [[nodiscard]] bool thru() const { return thru_; }

    // --- Learn ------------------------------------------------------------
    // The next suitable move binds `control`, replacing its mappings: a value
    // from a controller, NRPN/RPN, pitch bend or channel pressure, or a note
    // pressed. A release, a real-time byte or any other message does not. The
    // move that binds goes nowhere else.
    void beginLearn(ControlId control);
    void cancelLearn();
    [[nodiscard]] std::optional<ControlId> learning() const;
    // Told of each mapping made by a learn.
    Signal<Mapping> learned;
    // After every change of the mapping list.
    Signal<> mappingsChanged;

    // --- State for views ----------------------------------------------------
    [[nodiscard]] PickupState pickupState(std::size_t mappingIndex) const;
    // Whether any mapping of `control` waits for pickup.
    [[nodiscard]] bool waitingForPickup(ControlId control) const;
    // The mouse holds `control`: controller moves for it are ignored.
    void setHeld(ControlId control, bool held);
    [[nodiscard]] ControlInputCounts counts() const;

private:
    struct Runtime {
        bool following = false;
        bool knobKnown = false;
        double knob = 0.0;  // the source's last position, in control units
        bool setKnown = false;
        double lastSet = 0.0;  // what this mapping last gave the control
        bool level = false;    // a controller's value above its middle, as last seen
        bool held = false;     // a momentary press not yet released
        std::uint8_t stream = 0;
    };
    enum class CommandKind : std::uint8_t { setValue, setOn, press };
    struct Command {
        CommandKind kind;
        std::uint16_t slot;
        double value;
    };

    void sourceMoved(const SourceEvent& event) override;
    void otherMessage(const MidiMessage& message) override;

    void apply(std::size_t index, const SourceEvent& event);
    void applyAbsolute(std::size_t index, const SourceEvent& event);
    void applyStep(std::size_t index, int steps);
    void applyPress(std::size_t index, bool pressed);
    void release(std::size_t index);

    [[nodiscard]] double effectiveValue(std::size_t slot) const;
    void setPending(std::size_t slot, double value);
    void queue(CommandKind kind, std::size_t slot, double value);

    bool learnFrom(const SourceEvent& event);
    void bindLearned(const SourceEvent& event);

    void forwardThru(const SourceEvent& event);
    void forward(std::span<const std::uint8_t> bytes, std::uint8_t stream);
    void endThruNotes(std::uint8_t stream);

    void rebuildIndex();
    void releaseHeld();

    ControlTarget& target_;
    ThruSink* thruSink_;
    std::vector<Mapping> mappings_;
    std::vector<Runtime> runtime_;
    // (source key, mapping index), sorted, for the lookup of each move.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index_;

    std::array<MidiStreamParser, kMaxInputStreams> parsers_{};
    SourceRecognizer recognizer_;
    std::uint64_t gaps_ = 0;
    std::uint64_t commandsDropped_ = 0;

    // This frame's work: the latest value per continuous control, in the
    // order the controls first moved, and the commands in order.
    std::array<double, kControlCount> pending_{};
    std::bitset<kControlCount> hasPending_;
    std::array<std::uint16_t, kControlCount> dirty_{};
    std::size_t dirtyCount_ = 0;
    std::array<Command, kMaxCommandsPerFrame> commands_{};
    std::size_t commandCount_ = 0;
    // What this frame's commands leave a control at, for moves later in it.
    std::array<double, kControlCount> effective_{};
    std::bitset<kControlCount> hasEffective_;
    std::bitset<kControlCount> held_;

    bool learning_ = false;
    ControlId learnControl_;
    bool learnCandidate_ = false;
    SourceEvent candidate_;

    bool thru_ = false;
    // Notes passed on and not yet ended, and sustain pedals passed on down.
    std::array<std::array<std::bitset<128>, 16>, kMaxInputStreams> thruNotes_{};
    std::array<std::uint16_t, kMaxInputStreams> thruSustain_{};
};

}  // namespace tarnwell
