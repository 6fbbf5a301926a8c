#include "client_settings.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace ozu::tool {
namespace {

const std::vector<OptionSpec> kSettingOptions = {{"--server", true},   {"--port", true},      {"--type", true},
                                                 {"--serial", true},   {"--mac", true},       {"--ip", true},
                                                 {"--interval", true}, {"--device-id", true}, {"--http-port", true},
                                                 {"--syslog", false},  {"--quiet", false},    {"--verbose", false}};

// Numbers, or the lengths of texts. The serial, MAC and address are enciphered into the register
// record, whose fields hold the ciphertext of 8, 24 and 24 characters; the server is a DNS name.
struct Limit {
    const char* name;
    bool number;
    long lowest;
    long highest;
};

constexpr std::array<Limit, 10> kLimits = {{{"--server", false, 1, 253},
                                            {"--port", true, 1, 65535},
                                            {"--type", true, 0, 2},
                                            {"--serial", false, 1, 8},
                                            {"--mac", false, 1, 24},
                                            {"--ip", false, 1, 24},
                                            {"--interval", true, 1, INT32_MAX},
                                            {"--device-id", true, 0, 0xffffff},
                                            {"--http-port", true, 1, 65535},
                                            {"--pidfile", false, 1, PATH_MAX - 1}}};

// How long the server gets to accept the connection that shows it can be reached.
constexpr int kReachMilliseconds = 10000;

std::optional<long> parse_number(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno == ERANGE) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> server_name_problem(const std::string& text)
{
    if (text.find(':') == std::string::npos) {
        return std::nullopt;
    }
    in6_addr address{};
    if (inet_pton(AF_INET6, text.c_str(), &address) == 1) {
        return std::string("an IPv6 address; the library reaches its server over IPv4 only");
    }
    return std::string("host:port is not a server name; use --port");
}

// What is wrong with one value, naming the option as shown (--port, or port in a file).
std::optional<std::string> value_problem(const std::string& name, const std::string& shown, const std::string& text)
{
    const auto limit = std::find_if(kLimits.begin(), kLimits.end(), [&](const Limit& l) { return name == l.name; });
    if (limit == kLimits.end()) {
        return std::nullopt;
    }
    if (name == "--server") {
        if (const std::optional<std::string> problem = server_name_problem(text)) {
            return shown + " '" + text + "': " + *problem;
        }
    }
    const long size = limit->number ? parse_number(text).value_or(LONG_MIN) : static_cast<long>(text.size());
    if (size < limit->lowest || size > limit->highest) {
        return "invalid value for " + shown + ": '" + text + "' (" + std::to_string(limit->lowest) + " to " +
               std::to_string(limit->highest) + (limit->number ? ")" : " characters)");
    }
    return std::nullopt;
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

void read_config_line(const std::string& line, const std::string& where, const std::vector<OptionSpec>& specs,
                      Arguments& file)
{
    const std::string text = trimmed(line);
    if (text.empty() || text[0] == '#') {
        return;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw UsageError(where + "expected key = value");
    }
    const std::string key = trimmed(text.substr(0, equals));
    const std::string value = trimmed(text.substr(equals + 1));
    const std::string name = "--" + key;
    const OptionSpec* spec = find_spec(specs, name);
    if (spec == nullptr || name == "--config") {
        throw UsageError(where + "unknown key '" + key + "'");
    }
    if (!spec->takes_value && value != "yes" && value != "no") {
        throw UsageError(where + "invalid value for " + key + ": '" + value + "' (yes or no)");
    }
    if (const std::optional<std::string> problem = value_problem(name, key, value)) {
        throw UsageError(where + *problem);
    }
    if (spec->takes_value) {
        file.values[name] = value;
    } else if (value == "yes") {
        file.flags.insert(name);
    } else {
        file.flags.erase(name);
    }
    file.origins[name] = where;
}

Arguments read_config(const std::string& path, bool must_exist, const std::vector<OptionSpec>& specs)
{
    Arguments file;
    std::ifstream stream(path);
    if (!stream) {
        if (!must_exist && errno == ENOENT) {
            return file;
        }
        throw Failure("cannot open " + path + ": " + std::strerror(errno));
    }
    std::string line;
    for (int number = 1; std::getline(stream, line); ++number) {
        read_config_line(line, path + ":" + std::to_string(number) + ": ", specs, file);
    }
    return file;
}

// The command line over the file: its values, and its choice of --quiet or --verbose.
Arguments merged(Arguments file, const Arguments& command_line)
{
    if (command_line.has("--quiet") || command_line.has("--verbose")) {
        file.flags.erase("--quiet");
        file.flags.erase("--verbose");
    }
    for (const auto& [name, value] : command_line.values) {
        file.values[name] = value;
        file.origins.erase(name);
    }
    for (const std::string& name : command_line.flags) {
        file.flags.insert(name);
        file.origins.erase(name);
    }
    return file;
}

const std::string& required(const Arguments& arguments, const std::string& name)
{
    if (!arguments.has(name)) {
        throw UsageError(name + " is required");
    }
    return arguments.values.at(name);
}

long number(const Arguments& arguments, const std::string& name, long fallback)
{
    return arguments.has(name) ? parse_number(arguments.values.at(name)).value_or(fallback) : fallback;
}

// Interface types 0 and 1 configure neither the serial nor, type 0, the device's code and port.
void refuse_unused(const Arguments& arguments, int type)
{
    const std::vector<std::string> unused = type == 0
                                                ? std::vector<std::string>{"--serial", "--device-id", "--http-port"}
                                            : type == 1 ? std::vector<std::string>{"--serial"}
                                                        : std::vector<std::string>{};
    for (const std::string& name : unused) {
        if (arguments.has(name)) {
            throw UsageError(arguments.origin(name) + name + " is not used with --type " + std::to_string(type));
        }
    }
}

Verbosity verbosity(const Arguments& arguments)
{
    if (arguments.has("--quiet") && arguments.has("--verbose")) {
        throw UsageError(arguments.origin("--verbose") + "--quiet and --verbose exclude each other");
    }
    return arguments.has("--quiet")     ? Verbosity::Quiet
           : arguments.has("--verbose") ? Verbosity::Verbose
                                        : Verbosity::Normal;
}

Settings to_settings(ClientCommand command, const Arguments& arguments)
{
    Settings s;
    s.server = required(arguments, "--server");
    s.mac = required(arguments, "--mac");
    s.type = static_cast<int>(number(arguments, "--type", s.type));
    s.serial = s.type == 2 ? required(arguments, "--serial") : "";
    if (command == ClientCommand::Run) {
        s.ip = required(arguments, "--ip");
        if (s.type != 2) {
            throw UsageError(arguments.origin("--type") + "run needs --type 2: only it configures the serial, " +
                             "without which the server cannot use the records");
        }
    } else if (arguments.has("--ip")) {
        s.ip = arguments.values.at("--ip");
    }
    refuse_unused(arguments, s.type);
    s.port = static_cast<int>(number(arguments, "--port", s.port));
    s.interval = static_cast<int>(number(arguments, "--interval", s.interval));
    s.device_id = static_cast<std::int32_t>(number(arguments, "--device-id", s.device_id));
    s.http_port = static_cast<int>(number(arguments, "--http-port", s.http_port));
    s.pidfile = arguments.value_or("--pidfile", "");
    s.syslog = arguments.has("--syslog");
    s.verbosity = verbosity(arguments);
    return s;
}

std::optional<std::string> connect_problem(sockaddr_in address)
{
    const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int error = descriptor < 0 ? errno : 0;
    if (error == 0 && connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        pollfd entry{descriptor, POLLOUT, 0};
        socklen_t length = sizeof error;
        if (error == EINPROGRESS && poll(&entry, 1, kReachMilliseconds) != 1) {
            error = ETIMEDOUT;
        } else if (error == EINPROGRESS) {
            getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length);
        }
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    return error == 0 ? std::nullopt : std::optional<std::string>(std::strerror(error));
}

}  // namespace

const char kSettingsHelp[] =
    "SETTINGS:\n"
    "  --server S       DDNS server name or IPv4 address (required)\n"
    "  --port N         the server's HTTP port (default 80); the register channel is always 8879\n"
    "  --type T         server interface: 0 plain, 1 value=, 2 encrypt= (default 2; run needs 2)\n"
    "  --serial S       device serial, at most 8 characters (required with --type 2)\n"
    "  --mac M          device MAC address, at most 24 characters (required)\n"
    "  --ip A           device IP address, at most 24 characters (required by run; default: none sent)\n"
    "  --interval N     seconds between online reports (default 300, the least with --type 2)\n"
    "  --device-id N    device code up to 0xffffff, decimal or 0x hex (default 0)\n"
    "  --http-port N    the device's own HTTP port (default 80)\n"
    "  --syslog         the library's messages and the tool's own to syslog, not standard error\n"
    "  --quiet          errors only from the tool itself; --verbose adds the details\n";

std::vector<OptionSpec> client_options(ClientCommand command)
{
    std::vector<OptionSpec> options = kSettingOptions;
    if (command == ClientCommand::Once) {
        options.push_back({"--offline", false});
    } else if (command == ClientCommand::Run) {
        options.push_back({"--config", true});
        options.push_back({"--pidfile", true});
    }
    return options;
}

Settings read_settings(ClientCommand command, const Arguments& command_line)
{
    for (const auto& [name, value] : command_line.values) {
        if (const std::optional<std::string> problem = value_problem(name, name, value)) {
            throw UsageError(*problem);
        }
    }
    if (command != ClientCommand::Run) {
        return to_settings(command, command_line);
    }
    const std::string path = command_line.value_or("--config", kDefaultConfigFile);
    const Arguments file = read_config(path, command_line.has("--config"), client_options(command));
    return to_settings(command, merged(file, command_line));
}

std::optional<std::string> server_problem(const std::string& server, std::optional<int> port)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(server.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return "cannot resolve '" + server + "'";
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    if (!port) {
        return std::nullopt;
    }
    address.sin_port = htons(static_cast<std::uint16_t>(*port));
    if (const std::optional<std::string> problem = connect_problem(address)) {
        return "cannot reach " + server + " port " + std::to_string(*port) + ": " + *problem;
    }
    return std::nullopt;
}

}  // namespace ozu::tool
