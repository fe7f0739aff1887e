#include "core/physics/named_parameters.hpp"

#include <algorithm>

#include "core/panel/parameters.hpp"

namespace tarnwell {

namespace {

std::vector<NamedNRPN> buildTable() {
    std::vector<NamedNRPN> table;
    for (const ParameterRow& row : parameterTable()) {
        if (!row.shortName.empty()) {
            table.push_back({row.number, row.shortName});
        }
    }
    return table;
}

}  // namespace

const std::vector<NamedNRPN>& namedNRPNs() {
    static const std::vector<NamedNRPN> table = buildTable();
    return table;
}

std::string assignedParamLabel(std::int64_t number) {
    const auto& table = namedNRPNs();
    const auto entry =
        std::ranges::find_if(table, [&](const NamedNRPN& e) { return e.number == number; });
    if (entry == table.end()) {
        return "Param #" + std::to_string(number);
    }
    return ": " + entry->name;
}

}  // namespace tarnwell
