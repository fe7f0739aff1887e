#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/base/signal.hpp"
#include "core/base/time_source.hpp"
#include "core/base/wake_signal.hpp"
#include "core/control/control_engine.hpp"
#include "core/control/mapping_file.hpp"
#include "core/control/midi_input.hpp"
#include "core/control/model_control_target.hpp"
#include "core/midi/midi_service.hpp"

namespace tarnwell {

class MainQueue;
class MidiManager;
class Model;

// A hardware controller playing the panel: the chosen input source, the
// controller engine with its mappings, learn and thru, and the timing that
// turns input into edits once per window frame.
//
// Opt-in: no input port exists until a source is chosen (`chooseSource`, or
// loading mappings that name one). Then the panel's client gets its input
// port and takes input from the source of that name. The choice is kept by
// name: when the source vanishes its stream is lost (held presses released,
// notes passed on ended, knobs wait for pickup again), and when a source of
// that name appears, also one that was not there when chosen, it is
// connected.
//
// Timing: the service's input thread notifies `wake()`; the owner of the
// event loop calls `service()` when that signal's descriptor is readable (or
// whenever it likes: it is cheap with nothing queued). `service` takes the
// input at once (learning and thru happen on arrival) and applies what it
// brought to the panel at most once per kFrameInterval: the first move after a
// quiet spell is applied at once, moves inside the interval wait for one
// delayed task. Nothing is posted while nothing waits, so an idle controller
// (or none) costs no wake-ups.
//
// Threading: main thread only, except `wake().notify()`.
class ControllerInput final : private ThruSink, private MidiInputConsumer {
public:
    static constexpr std::chrono::nanoseconds kFrameInterval{16'666'667};

    // `model`, `queue` and `clock` must outlive this.
    ControllerInput(Model& model, MainQueue& queue, const TimeSource& clock = steadyTime());
    ~ControllerInput() override;
    ControllerInput(const ControllerInput&) = delete;
    ControllerInput& operator=(const ControllerInput&) = delete;

    [[nodiscard]] ControlEngine& engine() { return engine_; }
    [[nodiscard]] const ControlEngine& engine() const { return engine_; }
    [[nodiscard]] ModelControlTarget& target() { return target_; }

    // --- Source -----------------------------------------------------------
    // The names of the sources listed now, in the service's order.
    [[nodiscard]] std::vector<std::string> sourceNames() const;
    // The chosen source's name; empty when none is chosen.
    [[nodiscard]] const std::optional<std::string>& chosenSource() const { return chosen_; }
    // Whether the chosen source is listed (and so connected) now.
    [[nodiscard]] bool sourceAvailable() const { return selected_ != 0; }
    // Chooses the source by name (creating the input port the first time);
    // an empty name takes input from none. The port, once made, stays.
    void chooseSource(std::optional<std::string> name);
    [[nodiscard]] bool inputPortOpen() const;
    // "nanoKONTROL2", "nanoKONTROL2 (unavailable)" or "None".
    [[nodiscard]] std::string sourceStatus() const;

    // --- Mappings ---------------------------------------------------------
    // The mappings and the chosen source, as the mappings file keeps them.
    [[nodiscard]] MappingFile mappingFile() const;
    // Takes a file's mappings (replacing all) and, when it names a source,
    // chooses it. Returns how many mappings were left out (see
    // ControlEngine::setMappings).
    std::size_t loadMappingFile(const MappingFile& file);

    // --- Thru -------------------------------------------------------------
    void setThru(bool on) { engine_.setThru(on); }
    [[nodiscard]] bool thru() const { return engine_.thru(); }

    // --- Running ------------------------------------------------------------
    [[nodiscard]] WakeSignal& wake() { return *wake_; }
    // Takes the input queued so far and runs or schedules a frame. Returns
    // how many input records it took.
    std::size_t service();
    // Input events the service lost because its queue was full.
    [[nodiscard]] std::uint64_t droppedInput() const;
    // Frames run so far.
    [[nodiscard]] std::uint64_t frames() const { return frames_; }

    // After each frame (pickup states may have changed).
    Signal<> framed;
    // After the chosen source, its availability or the list of sources changed.
    Signal<> sourceChanged;
    // When `droppedInput` has grown since it was last told.
    Signal<std::uint64_t> inputLost;

private:
    void forward(std::span<const std::uint8_t> messages) override;
    void receive(const MidiInputEvent& record) override;

    void followSources();
    void runFrame();
    // Makes sure a frame runs within `delay` from now.
    void scheduleFrame(std::chrono::nanoseconds delay);

    MidiManager& midi_;
    MainQueue& queue_;
    const TimeSource& clock_;
    // Shared with the service, whose input thread may notify it until the
    // service itself ends.
    std::shared_ptr<WakeSignal> wake_ = std::make_shared<WakeSignal>();
    ModelControlTarget target_;
    ControlEngine engine_;
    Connection sourcesConnection_;

    std::optional<std::string> chosen_;
    EndpointRef selected_ = 0;
    std::uint8_t stream_ = 0;

    std::uint64_t frames_ = 0;
    std::uint64_t lostTold_ = 0;
    bool pendingInput_ = false;  // input taken since the last frame
    std::chrono::nanoseconds lastFrame_{std::chrono::nanoseconds::min() / 2};
    // The due time of the frame task posted last, and its generation: a task
    // superseded by an earlier one does nothing when it runs.
    std::optional<std::chrono::nanoseconds> armedFor_;
    std::uint64_t armGeneration_ = 0;
    std::shared_ptr<ControllerInput*> self_;
};

}  // namespace tarnwell
