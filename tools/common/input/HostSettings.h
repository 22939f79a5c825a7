// A definition table and a configuration that a host installs before the meeting starts, read from a
// file of their own so that one scenario or meeting can be run under several settings. The file holds
// what a meeting description holds under the same names: {"definitions": [streams], "config": {fields}},
// either of them optional.
#ifndef KTRSDK_TOOLS_COMMON_HOSTSETTINGS_H
#define KTRSDK_TOOLS_COMMON_HOSTSETTINGS_H

#include <optional>
#include <string>
#include <vector>

#include "Records.h"
#include "Scenario.h"

namespace ktr {

struct HostSettings {
    std::optional<std::vector<Record>> definitions;  // absent: the built-in table stays
    std::optional<LocalConfig> config;               // absent: the defaults stay

    static constexpr const char* kDefinitions = "definitions";

    template <class Visit>
    static void fields(Visit& visit) {
        visit(kDefinitions, &HostSettings::definitions, std::nullopt);
        visit("config", &HostSettings::config, std::nullopt);
    }
};

// Parses the settings from JSON text; fileName only names the input in messages. Throws InputError naming
// the file and the field.
HostSettings parseHostSettings(const std::string& text, const std::string& fileName);

// Inserts the settings' steps ("definitions", then "config") right after the local user's init. They are
// numbered 0 like the init: they come before the scenario's own steps, whose numbers stay as written.
void installHostSettings(const HostSettings& settings, Scenario& scenario);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_HOSTSETTINGS_H
