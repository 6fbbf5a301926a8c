// once, getname: one exchange of the DDNS client over HTTP, configured from the command line.
#include <ozu_dnsupdate/ozu_dnsupdate.h>

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "client_settings.h"
#include "command_line.h"
#include "commands.h"
#include "library_output.h"
#include "messages.h"

namespace ozu::tool {
namespace {

const char kOnceUsage[] =
    "usage: ozu-ddns once [--offline] SETTINGS\n"
    "Sends one registration update over HTTP: online, or with --offline the offline notice.\n";

const char kGetNameUsage[] =
    "usage: ozu-ddns getname SETTINGS\n"
    "Asks the server over HTTP for the device's domain name and prints it.\n";

// Room for any name a reply can carry: the exchange buffer holds 2048 bytes.
constexpr std::size_t kNameBufferSize = 2048;

struct Configured {
    Arguments arguments;
    Settings settings;
};

// The settings, with the server found reachable; empty after the help.
std::optional<Configured> configure(ClientCommand command, const Words& words, const char* usage)
{
    std::optional<Arguments> arguments =
        parse_command(words, client_options(command), 0, 0, std::string(usage) + kSettingsHelp);
    if (!arguments) {
        return std::nullopt;
    }
    Settings settings = read_settings(command, *arguments);
    route_messages(settings.verbosity, settings.syslog);
    if (const std::optional<std::string> problem = server_problem(settings.server, settings.port)) {
        throw Failure(*problem);
    }
    return Configured{std::move(*arguments), std::move(settings)};
}

}  // namespace

void initialise(const Settings& s)
{
    const char* ip = s.ip ? s.ip->c_str() : nullptr;
    switch (s.type) {
    case 0:
        ozu_dnsupdate_init(s.server.c_str(), s.port, s.mac.c_str(), ip, s.interval);
        break;
    case 1:
        ozu_dnsupdate_init_v1(s.device_id, s.server.c_str(), s.port, s.mac.c_str(), ip, s.http_port, s.interval);
        break;
    default:
        ozu_dnsupdate_init_v2(s.device_id, s.server.c_str(), s.port, s.serial.c_str(), s.mac.c_str(), ip, s.http_port,
                              s.interval);
        break;
    }
}

int update_once(const Words& words)
{
    const std::optional<Configured> configured = configure(ClientCommand::Once, words, kOnceUsage);
    if (!configured) {
        return kExitSuccess;
    }
    LibraryOutput output(configured->settings.syslog);
    initialise(configured->settings);
    const bool offline = configured->arguments.has("--offline");
    if (ozu_dnsupdate_once(offline ? 1 : 0) != 0) {
        throw Failure("the server did not confirm the update");
    }
    say(Weight::Detail, offline ? "offline notice confirmed" : "online update confirmed");
    return kExitSuccess;
}

int get_name(const Words& words)
{
    const std::optional<Configured> configured = configure(ClientCommand::GetName, words, kGetNameUsage);
    if (!configured) {
        return kExitSuccess;
    }
    LibraryOutput output(configured->settings.syslog);
    initialise(configured->settings);
    std::array<char, kNameBufferSize> name{};
    if (ozu_dnsupdate_getname(name.data(), static_cast<unsigned int>(name.size())) != 0) {
        throw Failure("the server gave no domain name");
    }
    output.print_result(name.data());
    return kExitSuccess;
}

}  // namespace ozu::tool
