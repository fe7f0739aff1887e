#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "core/control/midi_input.hpp"

namespace tarnwell {

// What on a hardware controller moved: the kind of message, its channel and
// its number. The identity a mapping binds to.
enum class SourceKind : std::uint8_t {
    controlChange,    // number: controller 0-127, 7-bit value
    controlChange14,  // number: MSB controller 0-31, its LSB is number + 32
    nrpn,             // number: parameter 0-16383
    rpn,              // number: parameter 0-16383
    pitchBend,        // no number
    channelPressure,  // no number
    note,             // number: note 0-127
};

struct SourceId {
    SourceKind kind = SourceKind::controlChange;
    std::uint8_t channel = 0;  // 0-15
    std::uint16_t number = 0;
    friend bool operator==(const SourceId&, const SourceId&) = default;
};

// Whether `kind` has a number, and the largest one.
[[nodiscard]] bool sourceHasNumber(SourceKind kind);
[[nodiscard]] std::uint16_t sourceNumberMax(SourceKind kind);
// Whether `id` names a source that can exist.
[[nodiscard]] bool isValidSource(const SourceId& id);
// "CC 74, channel 3", "CC 1/33, channel 1", "NRPN 1000, channel 1",
// "Pitch bend, channel 2", "Note 60, channel 10": channels counted from 1,
// as a musician reads them.
[[nodiscard]] std::string describeSource(const SourceId& id);

// A 7-bit value spread over 0-16383 so that 0 and 127 reach both ends and
// the steps stay even: the 7 bits repeated (64 gives 8256).
[[nodiscard]] constexpr std::uint16_t scale7To14(std::uint8_t value) {
    return static_cast<std::uint16_t>((value & 0x7F) << 7 | (value & 0x7F));
}

enum class SourceAction : std::uint8_t {
    value,      // an absolute position, `value`
    increment,  // data increment of an NRPN or RPN
    decrement,  // data decrement of an NRPN or RPN
    press,      // note on with a velocity above 0
    release,    // note off, or note on with velocity 0
};

// One move of a source, as the recognizer reports it.
struct SourceEvent {
    SourceId id;
    SourceAction action = SourceAction::value;
    // `value` carries 14 bits of the controller's own (a complete 14-bit
    // pair, NRPN/RPN data with its LSB, pitch bend); otherwise it is a 7-bit
    // value spread by scale7To14.
    bool fine = false;
    // The last 7-bit data byte as sent: the controller value (what a relative
    // encoder's step is read from), the velocity, the increment amount.
    std::uint8_t raw = 0;
    std::uint16_t value = 0;  // 0-16383
    std::int64_t time = 0;
    std::uint8_t stream = 0;
    // The messages that carried it, with their status bytes, ready to pass on
    // unchanged: an NRPN or RPN with its parameter selection in front (so a
    // receiver cannot apply the data to another parameter chosen in between),
    // a 14-bit pair with both halves, anything else alone.
    std::uint8_t wireSize = 0;
    std::array<std::uint8_t, 12> wire{};
};

class SourceSink {
public:
    virtual ~SourceSink() = default;
    virtual void sourceMoved(const SourceEvent& event) = 0;
    // A message that is no source (program change, polyphonic pressure,
    // system common, real time): it can only be passed on.
    virtual void otherMessage(const MidiMessage& message) = 0;
};

// Turns parsed messages into source moves, per input stream and channel.
//
// Decided behaviours:
// - 14-bit pairs. A controller n (0-31) counts as the MSB of a 14-bit pair
//   once controller n + 32 has followed it directly on its channel, or when a
//   mapping names the pair. Until then its MSB alone is a 7-bit controller,
//   and n + 32 is a controller of its own. Once a pair is known, an MSB waits
//   for its LSB and the two make one move; an LSB alone moves the fine part
//   under the last MSB. An MSB whose LSB does not come (any other message on
//   that channel, or kPairWait passing) moves with LSB 0, as a new MSB resets
//   the LSB in MIDI, so a missing LSB never holds a move back for long. A
//   mapping of controller n + 32 as a plain controller keeps the pair apart.
// - NRPN / RPN. 99/98 (101/100 for RPN) select the parameter; the selection
//   moves nothing and is never passed on by itself. Data entry 6 (and 38 as
//   its LSB, with the same waiting rule as a 14-bit pair once a channel has
//   sent 38), increment 96 and decrement 97 then move that parameter. A
//   selection with a half missing takes its data nowhere (counted); RPN 127/127
//   (the null parameter) ends the selection. With no selection, 6, 38, 96 and
//   97 are plain controllers.
// - Notes: note on with velocity above 0 presses, note off or velocity 0
//   releases. Pitch bend is 14-bit; channel pressure 7-bit.
//
// Threading: main thread only. No allocation.
class SourceRecognizer {
public:
    static constexpr std::chrono::nanoseconds kPairWait = std::chrono::milliseconds(30);

    void process(const MidiMessage& message, SourceSink& sink);
    // Completes the MSBs (and NRPN data MSBs) that have waited for their LSB
    // since before `now - kPairWait`.
    void flush(std::int64_t now, SourceSink& sink);
    // When the earliest waiting MSB is due to be completed by `flush`;
    // nothing when none waits.
    [[nodiscard]] std::optional<std::int64_t> nextFlush() const;
    // Forgets what `stream` had half sent (a waiting MSB, the NRPN selection),
    // after its input was lost; what is known about its pairs stays.
    void reset(std::uint8_t stream);

    // Pairs named by mappings, per channel as bit n for controller n (0-31):
    // `pairs` are 14-bit pairs from the start; `plainLsb` keeps controller
    // n + 32 a controller of its own.
    void setPairHints(const std::array<std::uint32_t, 16>& pairs,
                      const std::array<std::uint32_t, 16>& plainLsb);
    [[nodiscard]] bool pairKnown(std::uint8_t stream, std::uint8_t channel,
                                 std::uint8_t controller) const;

    // Data entries that arrived with half a parameter selection.
    [[nodiscard]] std::uint64_t incompleteSelections() const { return incomplete_; }

private:
    enum class Selection : std::uint8_t { none, nrpn, rpn };
    struct Channel {
        std::array<std::uint8_t, 32> msb{};
        std::uint32_t known = 0;    // pairs whose LSB has followed their MSB
        std::uint32_t pending = 0;  // MSBs waiting for their LSB
        std::int64_t pendingSince = 0;
        std::uint8_t previousController = 0xFF;  // of the previous message, if a CC
        Selection selection = Selection::none;
        std::int16_t selectMsb = -1;
        std::int16_t selectLsb = -1;
        std::int16_t dataMsb = -1;
        bool dataLsbSeen = false;
        bool dataPending = false;
        std::int64_t dataSince = 0;
    };

    void controlChange(Channel& ch, const MidiMessage& message, SourceSink& sink);
    void select(Channel& ch, Selection kind, bool msb, std::uint8_t value);
    void dataEntry(Channel& ch, const MidiMessage& message, SourceSink& sink);
    void completePairs(Channel& ch, std::uint8_t stream, std::uint8_t channel, SourceSink& sink);
    void completeData(Channel& ch, std::uint8_t stream, std::uint8_t channel, SourceSink& sink);
    // `dataMsb`, when given, is a waiting data MSB that goes on the wire
    // before `data`.
    void emitParameter(Channel& ch, SourceAction action, std::uint16_t value, bool fine,
                       const MidiMessage* dataMsb, const MidiMessage& data, SourceSink& sink);
    [[nodiscard]] std::uint32_t knownPairs(const Channel& ch, std::uint8_t channel) const {
        return (ch.known | hintedPairs_[channel]) & ~plainLsb_[channel];
    }

    std::array<std::array<Channel, 16>, kMaxInputStreams> streams_{};
    std::array<std::uint32_t, 16> hintedPairs_{};
    std::array<std::uint32_t, 16> plainLsb_{};
    std::uint32_t waiting_ = 0;  // streams with something pending, bit per stream
    std::uint64_t incomplete_ = 0;
};

}  // namespace tarnwell
