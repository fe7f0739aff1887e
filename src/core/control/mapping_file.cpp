#include "core/control/mapping_file.hpp"

#include <array>
#include <cmath>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/base/file_io.hpp"

namespace tarnwell {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view kFormat = "tarnwell-controller-mappings";

template <typename Enum>
struct Named {
    Enum value;
    std::string_view name;
};

constexpr std::array<Named<SourceKind>, 7> kSourceNames = {{
    {SourceKind::controlChange, "cc"},
    {SourceKind::controlChange14, "cc14"},
    {SourceKind::nrpn, "nrpn"},
    {SourceKind::rpn, "rpn"},
    {SourceKind::pitchBend, "pitchBend"},
    {SourceKind::channelPressure, "channelPressure"},
    {SourceKind::note, "note"},
}};

constexpr std::array<Named<MappingMode>, 6> kModeNames = {{
    {MappingMode::absolute, "absolute"},
    {MappingMode::relativeTwosComplement, "relativeTwosComplement"},
    {MappingMode::relativeSignedBit, "relativeSignedBit"},
    {MappingMode::relativeBinaryOffset, "relativeBinaryOffset"},
    {MappingMode::toggle, "toggle"},
    {MappingMode::momentary, "momentary"},
}};

constexpr std::array<Named<Pickup>, 2> kPickupNames = {{
    {Pickup::softTakeover, "softTakeover"},
    {Pickup::jump, "jump"},
}};

template <typename Enum, std::size_t N>
std::string_view nameOf(const std::array<Named<Enum>, N>& table, Enum value) {
    for (const auto& entry : table) {
        if (entry.value == value) {
            return entry.name;
        }
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const std::array<Named<Enum>, N>& table, std::string_view name) {
    for (const auto& entry : table) {
        if (entry.name == name) {
            return entry.value;
        }
    }
    return std::nullopt;
}

// The deepest nesting of arrays and objects in `text`, strings skipped; stops
// counting once past `limit`. Checked before parsing, so the parser (and
// copying the document, which recurses) never meets deep nesting.
std::size_t nestingDepth(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) {
                return deepest;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

// Thrown inside the reader only; caught in decodeMappingFile.
struct Refusal {
    std::string reason;
};

[[noreturn]] void refuse(std::string reason) {
    throw Refusal{std::move(reason)};
}

std::string typeText(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::boolean:
            return "true/false";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
            return "an integer";
        case Json::value_t::number_float:
            return "a number with a fraction";
        default:
            return "binary data";
    }
}

class MappingReader {
public:
    explicit MappingReader(std::string where) : where_(std::move(where)) {}

    const Json* member(const Json& object, std::string_view key, bool required) const {
        const auto it = object.find(key);
        if (it == object.end()) {
            if (required) {
                refuse(where_ + " lacks \"" + std::string(key) + "\"");
            }
            return nullptr;
        }
        return &*it;
    }

    std::string text(const Json& value, std::string_view key) const {
        if (!value.is_string()) {
            refuse(where_ + ": \"" + std::string(key) + "\" is " + typeText(value) +
                   ", not a string");
        }
        return value.get<std::string>();
    }

    std::int64_t integer(const Json& value, std::string_view key, std::int64_t low,
                         std::int64_t high) const {
        std::int64_t n = 0;
        if (value.is_number_unsigned()) {
            const auto u = value.get<std::uint64_t>();
            n = u > static_cast<std::uint64_t>(high) ? high + 1 : static_cast<std::int64_t>(u);
        } else if (value.is_number_integer()) {
            n = value.get<std::int64_t>();
        } else {
            refuse(where_ + ": \"" + std::string(key) + "\" is " + typeText(value) +
                   ", not a whole number");
        }
        if (n < low || n > high) {
            refuse(where_ + ": \"" + std::string(key) + "\" " + value.dump() + " is not " +
                   std::to_string(low) + "-" + std::to_string(high));
        }
        return n;
    }

    double number(const Json& value, std::string_view key) const {
        if (!value.is_number()) {
            refuse(where_ + ": \"" + std::string(key) + "\" is " + typeText(value) +
                   ", not a number");
        }
        const double d = value.get<double>();
        if (!std::isfinite(d)) {
            refuse(where_ + ": \"" + std::string(key) + "\" is not a finite number");
        }
        return d;
    }

    bool flag(const Json& value, std::string_view key) const {
        if (!value.is_boolean()) {
            refuse(where_ + ": \"" + std::string(key) + "\" is " + typeText(value) +
                   ", not true/false");
        }
        return value.get<bool>();
    }

    template <typename Enum, std::size_t N>
    Enum choice(const Json& value, std::string_view key,
                const std::array<Named<Enum>, N>& table) const {
        const std::string name = text(value, key);
        const auto found = valueOf(table, name);
        if (!found) {
            refuse(where_ + ": \"" + std::string(key) + "\" \"" + name + "\" is not one of " +
                   names(table));
        }
        return *found;
    }

    // The mapping, or nothing when it names a control this version lacks
    // (`unknownControl` then holds its key).
    std::optional<Mapping> read(const Json& object, std::string& unknownControl) const {
        if (!object.is_object()) {
            refuse(where_ + " is " + typeText(object) + ", not an object");
        }
        const std::string key = text(*member(object, "control", true), "control");
        const SourceKind kind = choice(*member(object, "source", true), "source", kSourceNames);
        Mapping mapping;
        mapping.source.kind = kind;
        mapping.source.channel = static_cast<std::uint8_t>(
            integer(*member(object, "channel", true), "channel", 1, 16) - 1);
        const Json* numberMember = member(object, "number", sourceHasNumber(kind));
        if (numberMember != nullptr) {
            if (!sourceHasNumber(kind)) {
                refuse(where_ + ": a " + std::string(nameOf(kSourceNames, kind)) +
                       " source has no \"number\"");
            }
            mapping.source.number = static_cast<std::uint16_t>(
                integer(*numberMember, "number", 0, sourceNumberMax(kind)));
        }
        const auto control = controlFromKey(key);
        if (!control) {
            unknownControl = key;
            return std::nullopt;
        }
        const Mapping proposed = proposeMapping(*control, mapping.source);
        mapping = proposed;
        if (const Json* mode = member(object, "mode", false)) {
            mapping.mode = choice(*mode, "mode", kModeNames);
        }
        if (const Json* low = member(object, "min", false)) {
            mapping.minimum = number(*low, "min");
        }
        if (const Json* high = member(object, "max", false)) {
            mapping.maximum = number(*high, "max");
        }
        if (const Json* invert = member(object, "invert", false)) {
            mapping.inverted = flag(*invert, "invert");
        }
        if (const Json* pickup = member(object, "pickup", false)) {
            mapping.pickup = choice(*pickup, "pickup", kPickupNames);
        }
        if (const Json* steps = member(object, "steps", false)) {
            mapping.relativeSteps =
                static_cast<std::uint16_t>(integer(*steps, "steps", 1, kMaxRelativeSteps));
        }
        if (const std::string problem = mappingProblem(mapping); !problem.empty()) {
            refuse(where_ + " (" + key + "): " + problem);
        }
        return mapping;
    }

private:
    template <typename Enum, std::size_t N>
    static std::string names(const std::array<Named<Enum>, N>& table) {
        std::string out;
        for (const auto& entry : table) {
            out += (out.empty() ? "\"" : ", \"") + std::string(entry.name) + "\"";
        }
        return out;
    }

    std::string where_;
};

MappingFile readDocument(const Json& document, std::size_t& skipped, std::string& warning) {
    MappingReader top("the file");
    if (!document.is_object()) {
        refuse("the top level is " + typeText(document) + ", not an object");
    }
    const Json* format = top.member(document, "format", true);
    if (top.text(*format, "format") != kFormat) {
        refuse("\"format\" is not \"" + std::string(kFormat) + "\"");
    }
    const Json* version = top.member(document, "version", true);
    if (!version->is_number_integer() && !version->is_number_unsigned()) {
        refuse("\"version\" is " + typeText(*version) + ", not a whole number");
    }
    if (version->get<std::int64_t>() != kMappingFileVersion) {
        refuse("version " + version->dump() + " is not " + std::to_string(kMappingFileVersion) +
               " (written by another version of the program)");
    }
    MappingFile file;
    if (const Json* input = top.member(document, "input", false)) {
        file.input = top.text(*input, "input");
        if (file.input->size() > kMaxInputNameBytes) {
            refuse("\"input\" is longer than " + std::to_string(kMaxInputNameBytes) + " bytes");
        }
    }
    const Json* list = top.member(document, "mappings", true);
    if (!list->is_array()) {
        refuse("\"mappings\" is " + typeText(*list) + ", not an array");
    }
    if (list->size() > kMaxMappingsInFile) {
        refuse("it holds " + std::to_string(list->size()) + " mappings, more than " +
               std::to_string(kMaxMappingsInFile));
    }
    std::vector<std::string> unknown;
    for (std::size_t i = 0; i < list->size(); ++i) {
        MappingReader reader("mapping " + std::to_string(i + 1));
        std::string unknownControl;
        if (auto mapping = reader.read((*list)[i], unknownControl)) {
            file.mappings.push_back(*mapping);
        } else {
            ++skipped;
            if (unknown.size() < 3) {
                unknown.push_back(std::move(unknownControl));
            }
        }
    }
    if (skipped > 0) {
        warning = std::to_string(skipped) + (skipped == 1 ? " mapping" : " mappings") +
                  " skipped: no control named ";
        for (std::size_t i = 0; i < unknown.size(); ++i) {
            warning += (i == 0 ? "\"" : ", \"") + unknown[i] + "\"";
        }
        if (skipped > unknown.size()) {
            warning += ", ...";
        }
    }
    return file;
}

}  // namespace

MappingFileText encodeMappingFile(const MappingFile& file) {
    if (file.mappings.size() > kMaxMappingsInFile) {
        return {std::nullopt, std::to_string(file.mappings.size()) + " mappings, more than " +
                                  std::to_string(kMaxMappingsInFile)};
    }
    OrderedJson document = OrderedJson::object();
    document["format"] = kFormat;
    document["version"] = kMappingFileVersion;
    if (file.input) {
        if (file.input->size() > kMaxInputNameBytes) {
            return {std::nullopt, "the input name is longer than " +
                                      std::to_string(kMaxInputNameBytes) + " bytes"};
        }
        document["input"] = *file.input;
    }
    OrderedJson list = OrderedJson::array();
    for (std::size_t i = 0; i < file.mappings.size(); ++i) {
        const Mapping& m = file.mappings[i];
        if (const std::string problem = mappingProblem(m); !problem.empty()) {
            return {std::nullopt, "mapping " + std::to_string(i + 1) + ": " + problem};
        }
        OrderedJson entry = OrderedJson::object();
        entry["control"] = controlInfo(m.control).key;
        entry["source"] = nameOf(kSourceNames, m.source.kind);
        entry["channel"] = m.source.channel + 1;
        if (sourceHasNumber(m.source.kind)) {
            entry["number"] = m.source.number;
        }
        entry["mode"] = nameOf(kModeNames, m.mode);
        entry["min"] = m.minimum;
        entry["max"] = m.maximum;
        entry["invert"] = m.inverted;
        entry["pickup"] = nameOf(kPickupNames, m.pickup);
        entry["steps"] = m.relativeSteps;
        list.push_back(std::move(entry));
    }
    document["mappings"] = std::move(list);
    try {
        return {document.dump(2) + "\n", {}};
    } catch (const nlohmann::json::type_error&) {
        // The one thing dump refuses: text that is not UTF-8.
        return {std::nullopt, "the input name is not UTF-8 text"};
    }
}

MappingFileReading decodeMappingFile(std::string_view bytes) {
    MappingFileReading reading;
    const auto refused = [&reading](const std::string& reason) {
        reading.error = "not a mappings file: " + reason;
        return reading;
    };
    if (bytes.size() > kMaxMappingFileBytes) {
        return refused("larger than " + std::to_string(kMaxMappingFileBytes >> 20) + " MiB");
    }
    // The parser takes a NUL byte for the end of the text, which would let
    // anything after it pass unread; JSON text never holds one.
    if (const auto nul = bytes.find('\0'); nul != std::string_view::npos) {
        return refused("not valid JSON (a NUL byte at byte " + std::to_string(nul + 1) + ")");
    }
    if (nestingDepth(bytes, kMaxMappingFileDepth) > kMaxMappingFileDepth) {
        return refused("nested deeper than " + std::to_string(kMaxMappingFileDepth) + " levels");
    }
    Json document;
    try {
        document = Json::parse(bytes.begin(), bytes.end());
    } catch (const nlohmann::json::parse_error& error) {
        return refused("not valid JSON (error at byte " + std::to_string(error.byte) + ")");
    } catch (const nlohmann::json::out_of_range&) {
        return refused("a number is too large");
    }
    try {
        std::size_t skipped = 0;
        std::string warning;
        MappingFile file = readDocument(document, skipped, warning);
        reading.file = std::move(file);
        reading.skipped = skipped;
        reading.warning = std::move(warning);
    } catch (const Refusal& refusal) {
        return refused(refusal.reason);
    }
    return reading;
}

MappingFileReading readMappingFile(const std::filesystem::path& path) {
    const FileRead read = readWholeFile(path, kMaxMappingFileBytes);
    if (!read.bytes) {
        MappingFileReading reading;
        reading.error = read.error;
        return reading;
    }
    return decodeMappingFile(*read.bytes);
}

std::string writeMappingFile(const std::filesystem::path& path, const MappingFile& file) {
    const MappingFileText text = encodeMappingFile(file);
    if (!text.text) {
        return "could not write " + path.string() + ": " + text.error;
    }
    return writeFileAtomically(path, *text.text);
}

}  // namespace tarnwell
