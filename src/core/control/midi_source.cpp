#include "core/control/midi_source.hpp"

namespace tarnwell {

namespace {

constexpr std::uint8_t kControlChange = 0xB0;
constexpr std::uint8_t kNoteOff = 0x80;
constexpr std::uint8_t kNoteOn = 0x90;
constexpr std::uint8_t kChannelPressure = 0xD0;
constexpr std::uint8_t kPitchBend = 0xE0;

constexpr std::uint8_t kDataEntryMsb = 6;
constexpr std::uint8_t kDataEntryLsb = 38;
constexpr std::uint8_t kDataIncrement = 96;
constexpr std::uint8_t kDataDecrement = 97;
constexpr std::uint8_t kNrpnLsb = 98;
constexpr std::uint8_t kNrpnMsb = 99;
constexpr std::uint8_t kRpnLsb = 100;
constexpr std::uint8_t kRpnMsb = 101;
constexpr std::uint8_t kRpnNull = 127;

// Appends one 3-byte message to an event's wire bytes.
void appendWire(SourceEvent& event, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    event.wire[event.wireSize++] = status;
    event.wire[event.wireSize++] = data1;
    event.wire[event.wireSize++] = data2;
}

void appendWire(SourceEvent& event, const MidiMessage& message) {
    for (std::uint8_t i = 0; i < message.size; ++i) {
        event.wire[event.wireSize++] = message.bytes[i];
    }
}

SourceEvent eventOf(SourceKind kind, const MidiMessage& message, std::uint16_t number) {
    SourceEvent event;
    event.id = {kind, message.channel(), number};
    event.time = message.time;
    event.stream = message.stream;
    return event;
}

}  // namespace

bool sourceHasNumber(SourceKind kind) {
    return kind != SourceKind::pitchBend && kind != SourceKind::channelPressure;
}

std::uint16_t sourceNumberMax(SourceKind kind) {
    switch (kind) {
        case SourceKind::controlChange:
        case SourceKind::note:
            return 127;
        case SourceKind::controlChange14:
            return 31;
        case SourceKind::nrpn:
        case SourceKind::rpn:
            return 16383;
        case SourceKind::pitchBend:
        case SourceKind::channelPressure:
            return 0;
    }
    return 0;
}

bool isValidSource(const SourceId& id) {
    return id.kind <= SourceKind::note && id.channel < 16 && id.number <= sourceNumberMax(id.kind);
}

std::string describeSource(const SourceId& id) {
    const std::string channel = ", channel " + std::to_string(id.channel + 1);
    const std::string number = std::to_string(id.number);
    switch (id.kind) {
        case SourceKind::controlChange:
            return "CC " + number + channel;
        case SourceKind::controlChange14:
            return "CC " + number + "/" + std::to_string(id.number + 32) + channel;
        case SourceKind::nrpn:
            return "NRPN " + number + channel;
        case SourceKind::rpn:
            return "RPN " + number + channel;
        case SourceKind::pitchBend:
            return "Pitch bend" + channel;
        case SourceKind::channelPressure:
            return "Channel pressure" + channel;
        case SourceKind::note:
            return "Note " + number + channel;
    }
    return {};
}

void SourceRecognizer::setPairHints(const std::array<std::uint32_t, 16>& pairs,
                                    const std::array<std::uint32_t, 16>& plainLsb) {
    hintedPairs_ = pairs;
    plainLsb_ = plainLsb;
}

bool SourceRecognizer::pairKnown(std::uint8_t stream, std::uint8_t channel,
                                 std::uint8_t controller) const {
    if (stream >= kMaxInputStreams || channel >= 16 || controller >= 32) {
        return false;
    }
    return (knownPairs(streams_[stream][channel], channel) >> controller & 1U) != 0;
}

void SourceRecognizer::process(const MidiMessage& message, SourceSink& sink) {
    if (!message.isChannelMessage() || message.stream >= kMaxInputStreams) {
        sink.otherMessage(message);
        return;
    }
    const std::uint8_t type = message.type();
    const std::uint8_t channel = message.channel();
    Channel& ch = streams_[message.stream][channel];
    const bool isCC = type == kControlChange;
    const std::uint8_t d1 = message.bytes[1];
    const std::uint8_t d2 = message.bytes[2];

    // Anything but the awaited LSB completes what waits on this channel.
    if (ch.pending != 0 && !(isCC && d1 >= 32 && d1 < 64 && (ch.pending >> (d1 - 32) & 1U) != 0)) {
        completePairs(ch, message.stream, channel, sink);
    }
    if (ch.dataPending && !(isCC && d1 == kDataEntryLsb && ch.selection != Selection::none)) {
        completeData(ch, message.stream, channel, sink);
    }

    switch (type) {
        case kControlChange:
            controlChange(ch, message, sink);
            ch.previousController = d1;
            return;
        case kNoteOn:
        case kNoteOff: {
            SourceEvent event = eventOf(SourceKind::note, message, d1);
            const bool press = type == kNoteOn && d2 > 0;
            event.action = press ? SourceAction::press : SourceAction::release;
            event.raw = d2;
            event.value = press ? scale7To14(d2) : 0;
            appendWire(event, message);
            sink.sourceMoved(event);
            break;
        }
        case kPitchBend: {
            SourceEvent event = eventOf(SourceKind::pitchBend, message, 0);
            event.fine = true;
            event.raw = d2;
            event.value = static_cast<std::uint16_t>(d2 << 7 | d1);
            appendWire(event, message);
            sink.sourceMoved(event);
            break;
        }
        case kChannelPressure: {
            SourceEvent event = eventOf(SourceKind::channelPressure, message, 0);
            event.raw = d1;
            event.value = scale7To14(d1);
            appendWire(event, message);
            sink.sourceMoved(event);
            break;
        }
        default:
            sink.otherMessage(message);
            break;
    }
    ch.previousController = 0xFF;
}

void SourceRecognizer::controlChange(Channel& ch, const MidiMessage& message, SourceSink& sink) {
    const std::uint8_t channel = message.channel();
    const std::uint8_t controller = message.bytes[1];
    const std::uint8_t value = message.bytes[2];
    switch (controller) {
        case kNrpnMsb:
        case kNrpnLsb:
            select(ch, Selection::nrpn, controller == kNrpnMsb, value);
            return;
        case kRpnMsb:
        case kRpnLsb:
            select(ch, Selection::rpn, controller == kRpnMsb, value);
            return;
        case kDataEntryMsb:
        case kDataEntryLsb:
        case kDataIncrement:
        case kDataDecrement:
            if (ch.selection != Selection::none) {
                dataEntry(ch, message, sink);
                return;
            }
            break;
        default:
            break;
    }

    const std::uint32_t pairs = knownPairs(ch, channel);
    if (controller < 32 && (pairs >> controller & 1U) != 0) {
        ch.msb[controller] = value;
        if (ch.pending == 0) {
            ch.pendingSince = message.time;
        }
        ch.pending |= 1U << controller;
        waiting_ |= 1U << message.stream;
        return;
    }
    if (controller >= 32 && controller < 64) {
        const std::uint8_t msb = controller - 32;
        const std::uint32_t bit = 1U << msb;
        const bool plain = (plainLsb_[channel] & bit) != 0;
        const bool follows = ch.previousController == msb;
        if (!plain && ((pairs & bit) != 0 || follows)) {
            ch.known |= bit;
            SourceEvent event = eventOf(SourceKind::controlChange14, message, msb);
            event.fine = true;
            event.raw = value;
            event.value = static_cast<std::uint16_t>(ch.msb[msb] << 7 | value);
            if ((ch.pending & bit) != 0) {
                ch.pending &= ~bit;
                appendWire(event, message.bytes[0], msb, ch.msb[msb]);
            }
            appendWire(event, message);
            sink.sourceMoved(event);
            return;
        }
    }
    if (controller < 32) {
        ch.msb[controller] = value;
    }
    SourceEvent event = eventOf(SourceKind::controlChange, message, controller);
    event.raw = value;
    event.value = scale7To14(value);
    appendWire(event, message);
    sink.sourceMoved(event);
}

void SourceRecognizer::select(Channel& ch, Selection kind, bool msb, std::uint8_t value) {
    if (ch.selection != kind) {
        ch.selection = kind;
        ch.selectMsb = -1;
        ch.selectLsb = -1;
    }
    (msb ? ch.selectMsb : ch.selectLsb) = value;
    ch.dataMsb = -1;
    if (kind == Selection::rpn && ch.selectMsb == kRpnNull && ch.selectLsb == kRpnNull) {
        ch.selection = Selection::none;
    }
}

void SourceRecognizer::dataEntry(Channel& ch, const MidiMessage& message, SourceSink& sink) {
    if (ch.selectMsb < 0 || ch.selectLsb < 0) {
        ++incomplete_;
        return;
    }
    const std::uint8_t controller = message.bytes[1];
    const std::uint8_t value = message.bytes[2];
    switch (controller) {
        case kDataEntryMsb:
            ch.dataMsb = value;
            if (ch.dataLsbSeen) {
                ch.dataPending = true;
                ch.dataSince = message.time;
                waiting_ |= 1U << message.stream;
                return;
            }
            emitParameter(ch, SourceAction::value, scale7To14(value), false, nullptr, message,
                          sink);
            return;
        case kDataEntryLsb: {
            ch.dataLsbSeen = true;
            const std::uint8_t msb = ch.dataMsb < 0 ? 0 : static_cast<std::uint8_t>(ch.dataMsb);
            const auto combined = static_cast<std::uint16_t>(msb << 7 | value);
            if (!ch.dataPending) {
                emitParameter(ch, SourceAction::value, combined, true, nullptr, message, sink);
                return;
            }
            // The waiting MSB travels with its LSB.
            ch.dataPending = false;
            MidiMessage msbMessage = message;
            msbMessage.bytes[1] = kDataEntryMsb;
            msbMessage.bytes[2] = msb;
            emitParameter(ch, SourceAction::value, combined, true, &msbMessage, message, sink);
            return;
        }
        case kDataIncrement:
        case kDataDecrement:
            emitParameter(
                ch,
                controller == kDataIncrement ? SourceAction::increment : SourceAction::decrement, 0,
                false, nullptr, message, sink);
            return;
        default:
            return;
    }
}

void SourceRecognizer::emitParameter(Channel& ch, SourceAction action, std::uint16_t value,
                                     bool fine, const MidiMessage* dataMsb, const MidiMessage& data,
                                     SourceSink& sink) {
    const bool rpn = ch.selection == Selection::rpn;
    const auto number = static_cast<std::uint16_t>(ch.selectMsb << 7 | ch.selectLsb);
    SourceEvent event = eventOf(rpn ? SourceKind::rpn : SourceKind::nrpn, data, number);
    event.action = action;
    event.fine = fine;
    event.raw = data.bytes[2];
    event.value = value;
    const std::uint8_t status = data.bytes[0];
    appendWire(event, status, rpn ? kRpnMsb : kNrpnMsb, static_cast<std::uint8_t>(ch.selectMsb));
    appendWire(event, status, rpn ? kRpnLsb : kNrpnLsb, static_cast<std::uint8_t>(ch.selectLsb));
    if (dataMsb != nullptr) {
        appendWire(event, *dataMsb);
    }
    appendWire(event, data);
    sink.sourceMoved(event);
}

void SourceRecognizer::completePairs(Channel& ch, std::uint8_t stream, std::uint8_t channel,
                                     SourceSink& sink) {
    for (std::uint8_t n = 0; n < 32 && ch.pending != 0; ++n) {
        const std::uint32_t bit = 1U << n;
        if ((ch.pending & bit) == 0) {
            continue;
        }
        ch.pending &= ~bit;
        SourceEvent event;
        event.id = {SourceKind::controlChange14, channel, n};
        event.fine = true;
        event.raw = 0;
        event.value = static_cast<std::uint16_t>(ch.msb[n] << 7);
        event.time = ch.pendingSince;
        event.stream = stream;
        appendWire(event, static_cast<std::uint8_t>(kControlChange | channel), n, ch.msb[n]);
        sink.sourceMoved(event);
    }
}

void SourceRecognizer::completeData(Channel& ch, std::uint8_t stream, std::uint8_t channel,
                                    SourceSink& sink) {
    ch.dataPending = false;
    MidiMessage msb;
    msb.time = ch.dataSince;
    msb.stream = stream;
    msb.size = 3;
    msb.bytes = {static_cast<std::uint8_t>(kControlChange | channel), kDataEntryMsb,
                 static_cast<std::uint8_t>(ch.dataMsb < 0 ? 0 : ch.dataMsb)};
    emitParameter(ch, SourceAction::value, static_cast<std::uint16_t>(msb.bytes[2] << 7), true,
                  nullptr, msb, sink);
}

void SourceRecognizer::flush(std::int64_t now, SourceSink& sink) {
    if (waiting_ == 0) {
        return;
    }
    const std::int64_t due = now - kPairWait.count();
    std::uint32_t still = 0;
    for (std::uint8_t stream = 0; stream < kMaxInputStreams; ++stream) {
        if ((waiting_ >> stream & 1U) == 0) {
            continue;
        }
        for (std::uint8_t channel = 0; channel < 16; ++channel) {
            Channel& ch = streams_[stream][channel];
            if (ch.pending != 0 && ch.pendingSince <= due) {
                completePairs(ch, stream, channel, sink);
            }
            if (ch.dataPending && ch.dataSince <= due) {
                completeData(ch, stream, channel, sink);
            }
            if (ch.pending != 0 || ch.dataPending) {
                still |= 1U << stream;
            }
        }
    }
    waiting_ = still;
}

std::optional<std::int64_t> SourceRecognizer::nextFlush() const {
    std::optional<std::int64_t> earliest;
    const auto consider = [&earliest](std::int64_t since) {
        const std::int64_t due = since + kPairWait.count();
        if (!earliest || due < *earliest) {
            earliest = due;
        }
    };
    for (std::uint8_t stream = 0; waiting_ != 0 && stream < kMaxInputStreams; ++stream) {
        if ((waiting_ >> stream & 1U) == 0) {
            continue;
        }
        for (const Channel& ch : streams_[stream]) {
            if (ch.pending != 0) {
                consider(ch.pendingSince);
            }
            if (ch.dataPending) {
                consider(ch.dataSince);
            }
        }
    }
    return earliest;
}

void SourceRecognizer::reset(std::uint8_t stream) {
    if (stream >= kMaxInputStreams) {
        return;
    }
    for (Channel& ch : streams_[stream]) {
        ch.pending = 0;
        ch.previousController = 0xFF;
        ch.selection = Selection::none;
        ch.selectMsb = -1;
        ch.selectLsb = -1;
        ch.dataMsb = -1;
        ch.dataPending = false;
    }
    waiting_ &= ~(1U << stream);
}

}  // namespace tarnwell
