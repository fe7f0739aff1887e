#include "core/panel/resume_file.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include "core/midi/nrpn.hpp"
#include "core/panel/parameters.hpp"
#include "core/physics/named_parameters.hpp"
#include "core/physics/simulation.hpp"
#include "core/physics/wave.hpp"

namespace tarnwell {

namespace {

using Json = nlohmann::ordered_json;

// The file holds an object of lists of objects: nothing deeper is read, so a
// hostile nesting is refused before it can be built.
constexpr int kMaxDepth = 4;

struct Range {
    const char* key;
    double Ball::*field;
    double maximum;
};

// Every number a ball keeps, with the closed range its page's control offers.
constexpr std::array<Range, 9> kBallNumbers = {{
    {"ampX", &Ball::ampX, PhysicsSimulation::kMaxAmplitude},
    {"freqX", &Ball::freqX, PhysicsSimulation::kMaxFrequency},
    {"phaseX", &Ball::phaseX, PhysicsSimulation::kMaxPhase},
    {"ampY", &Ball::ampY, PhysicsSimulation::kMaxAmplitude},
    {"freqY", &Ball::freqY, PhysicsSimulation::kMaxFrequency},
    {"phaseY", &Ball::phaseY, PhysicsSimulation::kMaxPhase},
    {"magnetStrength", &Ball::magnetStrength, PhysicsSimulation::kMaxMagnetStrength},
    {"magnetX", &Ball::magnetX, PhysicsSimulation::boundingWidth},
    {"magnetY", &Ball::magnetY, PhysicsSimulation::boundingHeight},
}};

struct WaveField {
    const char* key;
    WaveType Ball::*field;
};
constexpr std::array<WaveField, 2> kBallWaves = {{
    {"waveTypeX", &Ball::waveTypeX},
    {"waveTypeY", &Ball::waveTypeY},
}};

class Refusal {
public:
    explicit Refusal(std::string why) : why_(std::move(why)) {}
    [[nodiscard]] const std::string& why() const { return why_; }

private:
    std::string why_;
};

const Json& member(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        throw Refusal(std::string("it lacks \"") + key + "\"");
    }
    return *found;
}

double number(const Json& value, const std::string& what, double maximum) {
    if (!value.is_number()) {
        throw Refusal(what + " is not a number");
    }
    const double v = value.get<double>();
    if (!std::isfinite(v) || v < 0.0 || v > maximum) {
        throw Refusal(what + " lies outside 0 to " + Json(maximum).dump());
    }
    return v;
}

bool flag(const Json& value, const std::string& what) {
    if (!value.is_boolean()) {
        throw Refusal(what + " is not true or false");
    }
    return value.get<bool>();
}

const Json& list(const Json& object, const char* key, std::size_t length) {
    const Json& value = member(object, key);
    if (!value.is_array() || value.size() != length) {
        throw Refusal(std::string("\"") + key + "\" is not a list of " + std::to_string(length));
    }
    return value;
}

std::vector<bool> flags(const Json& object, const char* key, std::size_t length) {
    std::vector<bool> out;
    for (const Json& value : list(object, key, length)) {
        out.push_back(flag(value, std::string("an entry of \"") + key + "\""));
    }
    return out;
}

Ball readBall(const Json& value, const Ball& start, std::size_t index) {
    const std::string what = "ball " + std::to_string(index + 1);
    if (!value.is_object()) {
        throw Refusal(what + " is not an object");
    }
    Ball ball = start;
    const Json& param = member(value, "assignedParam");
    const auto& named = namedNRPNs();
    if (!param.is_number_integer() || param.get<std::int64_t>() < named.front().number ||
        param.get<std::int64_t>() > named.back().number) {
        throw Refusal(what + " drives no parameter a ball can drive");
    }
    ball.assignedParam = param.get<std::int64_t>();
    for (const WaveField& wave : kBallWaves) {
        const Json& raw = member(value, wave.key);
        const auto type = raw.is_string() ? waveTypeFromRaw(raw.get<std::string>()) : std::nullopt;
        if (!type) {
            throw Refusal(what + " has no wave shape " + wave.key);
        }
        ball.*wave.field = *type;
    }
    for (const Range& range : kBallNumbers) {
        ball.*range.field = number(member(value, range.key), what + " " + range.key, range.maximum);
    }
    ball.magnetEnabled = flag(member(value, "magnetEnabled"), what + " magnetEnabled");
    ball.isRunning = false;
    return ball;
}

}  // namespace

std::optional<std::string> encodeResumeFile(const ResumeState& state) {
    Json root = Json::object();
    root["values"] = state.sliderValues;
    root["modButtons"] = state.modButtonPressed;
    root["groups"] = state.linkedTabs;
    Json switches = Json::object();
    for (const ModeToggleInfo& info : kModeToggles) {
        switches[std::string(info.stateName)] =
            state.modeToggles[static_cast<std::size_t>(info.toggle)];
    }
    root["switches"] = std::move(switches);
    root["selectedPreset"] = state.selectedPresetIndex;
    Json balls = Json::array();
    for (const Ball& ball : state.balls) {
        Json b = Json::object();
        b["assignedParam"] = ball.assignedParam;
        for (const WaveField& wave : kBallWaves) {
            b[wave.key] = std::string(rawValue(ball.*wave.field));
        }
        for (const Range& range : kBallNumbers) {
            b[range.key] = ball.*range.field;
        }
        b["magnetEnabled"] = ball.magnetEnabled;
        balls.push_back(std::move(b));
    }
    root["balls"] = std::move(balls);
    for (const double v : state.sliderValues) {
        if (!std::isfinite(v)) {
            return std::nullopt;
        }
    }
    std::string text = root.dump(1);
    // What is written must read back whole and equal (balls come back
    // stopped), or it is not written at all.
    ResumeState stopped = state;
    for (Ball& ball : stopped.balls) {
        ball.isRunning = false;
    }
    const ResumeDecoding back = decodeResumeFile(text);
    if (!back.state || !(*back.state == stopped)) {
        return std::nullopt;
    }
    return text;
}

ResumeDecoding decodeResumeFile(std::string_view bytes) {
    if (bytes.size() > kMaxResumeFileBytes) {
        return {std::nullopt,
                "it is larger than " + std::to_string(kMaxResumeFileBytes >> 10) + " KiB"};
    }
    bool tooDeep = false;
    const Json::parser_callback_t keepShallow = [&tooDeep](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaxDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    };
    const Json root = Json::parse(bytes.begin(), bytes.end(), keepShallow, false);
    if (tooDeep) {
        return {std::nullopt, "it is nested deeper than a resume file is"};
    }
    if (root.is_discarded() || !root.is_object()) {
        return {std::nullopt, "it is not a JSON object"};
    }
    try {
        ResumeState state;
        for (const Json& value : list(root, "values", kParameterCount)) {
            state.sliderValues.push_back(number(value, "a value", static_cast<double>(kNrpnMax)));
        }
        state.modButtonPressed = flags(root, "modButtons", kModButtonCount);
        state.linkedTabs = flags(root, "groups", kUnitCount);
        const Json& switches = member(root, "switches");
        if (!switches.is_object()) {
            throw Refusal("\"switches\" is not an object");
        }
        for (const ModeToggleInfo& info : kModeToggles) {
            const std::string key(info.stateName);
            state.modeToggles[static_cast<std::size_t>(info.toggle)] =
                flag(member(switches, key.c_str()), key);
        }
        const Json& selected = member(root, "selectedPreset");
        if (!selected.is_number_integer() || selected.get<std::int64_t>() < 0 ||
            selected.get<std::int64_t>() > std::int64_t{1} << 31) {
            throw Refusal("\"selectedPreset\" is not a preset number");
        }
        state.selectedPresetIndex = selected.get<std::int64_t>();
        const std::vector<Ball> start = initialBalls();
        const Json& balls = list(root, "balls", start.size());
        for (std::size_t i = 0; i < start.size(); ++i) {
            state.balls.push_back(readBall(balls[i], start[i], i));
        }
        return {std::move(state), {}};
    } catch (const Refusal& refusal) {
        return {std::nullopt, refusal.why()};
    }
}

}  // namespace tarnwell
