// once, getname, run: the host's side of the DDNS client, configured from the command line.
#include <ozu_dnsupdate/ozu_dnsupdate.h>
#include <signal.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"

namespace ozu::tool {
namespace {

const char kSettingsHelp[] =
    "  --server S       DDNS server name or address (required)\n"
    "  --port N         the server's HTTP port (default 80); the register channel is always 8879\n"
    "  --type T         server interface: 0 plain, 1 value=, 2 encrypt= (default 2)\n"
    "  --serial S       device serial (required with --type 2)\n"
    "  --mac M          device MAC address (required)\n"
    "  --ip A           device IP address (default: none sent)\n"
    "  --interval N     seconds between online reports (default 300)\n"
    "  --device-id N    device code, decimal or 0x hex (default 0)\n"
    "  --http-port N    the device's own HTTP port (default 80)\n";

const char kOnceUsage[] =
    "usage: ozu-ddns once [--offline] SETTINGS\n"
    "Sends one registration update over HTTP: online, or with --offline the offline notice.\n";

const char kGetNameUsage[] =
    "usage: ozu-ddns getname SETTINGS\n"
    "Asks the server over HTTP for the device's domain name and prints it.\n";

const char kRunUsage[] =
    "usage: ozu-ddns run SETTINGS\n"
    "Keeps the device registered over the register channel: the update worker announces it and\n"
    "reports it online every interval, and the domain-name thread asks for its name once a\n"
    "minute, until SIGINT or SIGTERM; the worker then sends its offline report and the tool ends.\n";

const std::vector<OptionSpec> kSettingOptions = {{"--server", true},   {"--port", true},      {"--type", true},
                                                 {"--serial", true},   {"--mac", true},       {"--ip", true},
                                                 {"--interval", true}, {"--device-id", true}, {"--http-port", true}};

// Room for any name a reply can carry: the exchange buffer holds 2048 bytes.
constexpr std::size_t kNameBufferSize = 2048;

struct Settings {
    std::string server;
    int port = 80;
    int type = 2;
    std::string serial;
    std::string mac;
    std::string ip;
    bool has_ip = false;
    int interval = 300;
    std::int32_t device_id = 0;
    int http_port = 80;
};

std::string required(const Arguments& arguments, const std::string& name)
{
    if (!arguments.has(name)) {
        throw UsageError(name + " is required");
    }
    return arguments.values.at(name);
}

Settings read_settings(const Arguments& arguments)
{
    Settings s;
    s.server = required(arguments, "--server");
    s.mac = required(arguments, "--mac");
    s.port = static_cast<int>(number_option(arguments, "--port", s.port, 1, 65535));
    s.type = static_cast<int>(number_option(arguments, "--type", s.type, 0, 2));
    s.serial = s.type == 2 ? required(arguments, "--serial") : arguments.value_or("--serial", "");
    s.has_ip = arguments.has("--ip");
    s.ip = arguments.value_or("--ip", "");
    s.interval = static_cast<int>(number_option(arguments, "--interval", s.interval, 1, INT32_MAX));
    s.device_id = static_cast<std::int32_t>(number_option(arguments, "--device-id", s.device_id, 0, INT32_MAX));
    s.http_port = static_cast<int>(number_option(arguments, "--http-port", s.http_port, 1, 65535));
    return s;
}

void initialise(const Settings& s)
{
    const char* ip = s.has_ip ? s.ip.c_str() : nullptr;
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

// Parses the settings and initialises the client; empty after printing the help.
std::optional<Arguments> configure(const Words& words, const char* usage, const std::vector<OptionSpec>& extra)
{
    std::vector<OptionSpec> options = kSettingOptions;
    options.insert(options.end(), extra.begin(), extra.end());
    std::optional<Arguments> arguments =
        parse_command(words, options, 0, 0, std::string(usage) + "SETTINGS:\n" + kSettingsHelp);
    if (arguments) {
        initialise(read_settings(*arguments));
    }
    return arguments;
}

// SIGINT and SIGTERM blocked in every thread, the library's included, and taken by sigwait.
sigset_t stop_signals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

int update_once(const Words& words)
{
    const std::optional<Arguments> arguments = configure(words, kOnceUsage, {{"--offline", false}});
    if (!arguments) {
        return kExitSuccess;
    }
    const bool offline = arguments->has("--offline");
    if (ozu_dnsupdate_once(offline ? 1 : 0) != 0) {
        throw Failure("the server did not confirm the update");
    }
    std::printf("%s confirmed\n", offline ? "offline notice" : "online update");
    return kExitSuccess;
}

int get_name(const Words& words)
{
    if (!configure(words, kGetNameUsage, {})) {
        return kExitSuccess;
    }
    std::array<char, kNameBufferSize> name{};
    if (ozu_dnsupdate_getname(name.data(), static_cast<unsigned int>(name.size())) != 0) {
        throw Failure("the server gave no domain name");
    }
    std::printf("%s\n", name.data());
    return kExitSuccess;
}

int run_client(const Words& words)
{
    // Blocked before the library starts its threads, which inherit the mask.
    const sigset_t signals = stop_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (!configure(words, kRunUsage, {})) {
        return kExitSuccess;
    }
    if (ozu_dnsupdate_start() != 0) {
        throw Failure("the update worker could not start");
    }
    const int rdn_error = ozu_dnsupdate_init_rdn();
    if (rdn_error != 0) {
        ozu_dnsupdate_stop();
        throw Failure(std::string("the domain-name thread could not start: ") + std::strerror(rdn_error));
    }
    std::printf("running: update worker and domain-name thread; SIGINT or SIGTERM stops\n");
    int received = 0;
    sigwait(&signals, &received);
    std::printf("%s: stopping after the offline report\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    ozu_dnsupdate_stop();
    std::printf("stopped\n");
    return kExitSuccess;
}

}  // namespace ozu::tool
