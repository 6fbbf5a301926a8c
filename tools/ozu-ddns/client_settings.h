// The DDNS client's settings as once, getname and run take them: from the command line and, for
// run, from a configuration file of key = value lines named like the long options. Whatever the
// library would silently ignore, or the register record or the server could not carry, is refused.
#ifndef OZU_TOOL_CLIENT_SETTINGS_H
#define OZU_TOOL_CLIENT_SETTINGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "messages.h"

namespace ozu::tool {

enum class ClientCommand { Once, GetName, Run };

struct Settings {
    std::string server;
    int port = 80;
    int type = 2;
    std::string serial;
    std::string mac;
    std::optional<std::string> ip;
    int interval = 300;
    std::int32_t device_id = 0;
    int http_port = 80;
    std::string pidfile;
    bool syslog = false;
    Verbosity verbosity = Verbosity::Normal;
};

// Read by run when --config names no other file; a missing one is no error.
constexpr const char* kDefaultConfigFile = "/etc/ozu-ddns.conf";

// The least interval the library keeps for interface type 2: it raises anything below.
constexpr int kLeastInterval = 300;

// The settings' part of the client commands' help.
extern const char kSettingsHelp[];

std::vector<OptionSpec> client_options(ClientCommand command);

// The command line's settings, for run over those of the configuration file. A UsageError names
// the option, and the file and line it came from.
Settings read_settings(ClientCommand command, const Arguments& command_line);

// Hands the settings to the library's initialisation entry point of their interface type.
void initialise(const Settings& settings);

// Why the server cannot be used, before the library tries: its name does not resolve to an IPv4
// address, or, given a port, nothing there accepts a connection.
std::optional<std::string> server_problem(const std::string& server, std::optional<int> port);

}  // namespace ozu::tool

#endif
