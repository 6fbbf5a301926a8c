// ozu-ddns-server: the DDNS server as a program. Serves until SIGINT or SIGTERM and prints one line per exchange on
// stdout; problems go to stderr. `list` prints the registry, `release` frees a name.
#include <sys/resource.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "decimal_text.h"
#include "device_call.h"
#include "dns_options.h"
#include "ozu_version.h"
#include "server.h"
#include "sqlite_store.h"

namespace {

using ozu::server::ServerConfig;

constexpr int kUsageError = 2;
// Descriptors the server needs besides its connections: listeners, the database and its journal, the streams.
constexpr rlim_t kSpareDescriptors = 64;

const char kUsage[] =
    "usage: ozu-ddns-server [options]               serve until SIGINT or SIGTERM\n"
    "       ozu-ddns-server list [--database PATH]  print the registry, one device a line\n"
    "       ozu-ddns-server release SERIAL [--database PATH]\n"
    "                                              free the name of SERIAL for any MAC to register\n"
    "  --address A            IPv4 address to listen on (default 127.0.0.1)\n"
    "  --http-port N          HTTP interface port (default 8080; 0: the kernel picks, off: none)\n"
    "  --register-port N      register channel port (default 8879; 0: the kernel picks, off: none)\n"
    "  --zone Z               domains are <serial>.<zone> (default ddns.test)\n"
    "  --database PATH        the registry, an SQLite database (default ozu-ddns-server.db)\n"
    "  --publish WHICH        the address a name points at: source (the connection's, default)\n"
    "                         or reported (the device's own, when it reports one)\n"
    "  --keep-offline         a device that goes offline keeps its name\n"
    "  --max-connections N    connections served at once (default 4096)\n"
    "  --rate-limit N         connections per second from one address (default 100, 0: no limit)\n"
    "  --log-format F         text (default) or json: one line per exchange\n"
    "  --fault MODE           answer every device request with a fault:\n"
    "                         none, stall, close, not-ok, no-markers, oversized, split\n";
const char kUsageEnd[] =
    "  --help                 show this text\n"
    "  --version              show the version\n";

void print_usage(std::FILE* stream)
{
    std::fputs(kUsage, stream);
    std::fputs(ozu::server::kDnsUsage, stream);
    std::fputs(kUsageEnd, stream);
}

enum class Command { Serve, List, Release, Help, Version };

struct Options {
    Command command = Command::Serve;
    std::string serial;  // release
    ServerConfig config;
    ozu::server::DnsOptions dns;
};

std::optional<std::string> apply_port(const std::string& name, const std::string& value, ServerConfig& config)
{
    std::optional<int>& setting = name == "--http-port" ? config.http_port : config.register_port;
    if (value == "off") {
        setting = std::nullopt;
        return std::nullopt;
    }
    const std::optional<long> port = ozu::server::parse_decimal(value, 0, 65535);
    if (!port) {
        return "invalid port for " + name + ": '" + value + "'";
    }
    setting = static_cast<int>(*port);
    return std::nullopt;
}

std::optional<std::string> apply_limit(const std::string& name, const std::string& value, ServerConfig& config)
{
    const bool connections = name == "--max-connections";
    const std::optional<long> number = ozu::server::parse_decimal(value, connections ? 1 : 0, 1000000);
    if (!number) {
        return "invalid number for " + name + ": '" + value + "'";
    }
    if (connections) {
        config.max_connections = static_cast<std::size_t>(*number);
    } else {
        config.rate_limit = static_cast<unsigned>(*number);
    }
    return std::nullopt;
}

std::optional<std::string> apply_choice(const std::string& name, const std::string& value, ServerConfig& config)
{
    if (name == "--fault") {
        const std::optional<ozu::server::Fault> fault = ozu::server::parse_fault(value);
        config.fault = fault.value_or(config.fault);
        return fault ? std::nullopt : std::optional<std::string>("unknown fault mode '" + value + "'");
    }
    if (name == "--log-format") {
        const std::optional<ozu::server::LogFormat> format = ozu::server::parse_log_format(value);
        config.log_format = format.value_or(config.log_format);
        return format ? std::nullopt : std::optional<std::string>("unknown log format '" + value + "'");
    }
    if (value != "source" && value != "reported") {
        return "--publish takes source or reported, not '" + value + "'";
    }
    config.publish.reported_address = value == "reported";
    return std::nullopt;
}

// Applies one "--name value" option; what is wrong with it, if anything.
std::optional<std::string> apply_option(const std::string& name, const std::string& value, ServerConfig& config)
{
    if (name == "--address") {
        config.address = value;
    } else if (name == "--zone") {
        config.zone = value;
    } else if (name == "--database") {
        config.database = value;
    } else if (name == "--http-port" || name == "--register-port") {
        return apply_port(name, value, config);
    } else if (name == "--max-connections" || name == "--rate-limit") {
        return apply_limit(name, value, config);
    } else if (name == "--fault" || name == "--log-format" || name == "--publish") {
        return apply_choice(name, value, config);
    } else {
        return "unknown option '" + name + "'";
    }
    return std::nullopt;
}

// The command word (and release's operand) come before the options: how many words they take; none when release
// lacks its operand.
std::optional<std::size_t> read_command(const std::vector<std::string>& words, Options& options)
{
    if (words.empty() || (words[0] != "list" && words[0] != "release")) {
        return 0;
    }
    if (words[0] == "list") {
        options.command = Command::List;
        return 1;
    }
    if (words.size() < 2 || words[1].rfind("--", 0) == 0) {
        return std::nullopt;
    }
    options.command = Command::Release;
    options.serial = words[1];
    return 2;
}

std::optional<std::string> parse_options(const std::vector<std::string>& words, Options& options)
{
    options.config.http_port = 8080;
    options.config.register_port = 8879;
    const std::optional<std::size_t> first = read_command(words, options);
    if (!first) {
        return "release needs the SERIAL whose name to free";
    }
    for (std::size_t i = *first; i < words.size(); ++i) {
        const std::string& name = words[i];
        if (name == "--help" || name == "--version") {
            options.command = name == "--help" ? Command::Help : Command::Version;
            return std::nullopt;
        }
        if (name == "--keep-offline") {
            options.config.publish.keep_offline = true;
            continue;
        }
        if (name.rfind("--", 0) != 0) {
            return "unexpected argument '" + name + "'";
        }
        if (i + 1 >= words.size()) {
            return "option " + name + " needs a value";
        }
        const std::string& value = words[++i];
        std::optional<std::string> problem = ozu::server::is_dns_option(name)
                                                 ? ozu::server::apply_dns_option(name, value, options.dns)
                                                 : apply_option(name, value, options.config);
        if (problem) {
            return problem;
        }
    }
    return std::nullopt;
}

std::string utc_text(std::int64_t seconds)
{
    const auto time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text.data();
}

std::string port_text(const std::optional<int>& port)
{
    return port ? std::to_string(*port) : "-";
}

std::unique_ptr<ozu::server::SqliteStore> open_existing(const std::string& path)
{
    std::string error;
    auto store = ozu::server::SqliteStore::open(path, ozu::server::SqliteStore::Mode::Existing, &error);
    if (!store) {
        std::fprintf(stderr, "ozu-ddns-server: %s\n", error.c_str());
    }
    return store;
}

int list_registry(const std::string& path)
{
    const std::unique_ptr<ozu::server::SqliteStore> store = open_existing(path);
    if (!store) {
        return EXIT_FAILURE;
    }
    const std::vector<ozu::server::Device> devices = store->devices();
    if (store->failed()) {
        std::fprintf(stderr, "ozu-ddns-server: cannot read %s: %s\n", path.c_str(), store->error().c_str());
        return EXIT_FAILURE;
    }
    std::printf(
        "name\tserial\tmac\tstate\tsource\treported\tinterface\tcode\thttp\tport\tfirst_seen\tlast_seen\tdomain\n");
    for (const ozu::server::Device& device : devices) {
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", device.name.c_str(), device.serial.c_str(),
                    device.mac.c_str(), device.online ? "online" : "offline", device.source_ip.c_str(),
                    device.reported_ip.c_str(), device.interface.c_str(), device.device_code.c_str(),
                    port_text(device.http_port).c_str(), port_text(device.server_port).c_str(),
                    utc_text(device.first_seen).c_str(), utc_text(device.last_seen).c_str(), device.domain.c_str());
    }
    return EXIT_SUCCESS;
}

int release_name(const std::string& path, const std::string& serial)
{
    const std::unique_ptr<ozu::server::SqliteStore> store = open_existing(path);
    if (!store || !store->begin()) {
        return EXIT_FAILURE;
    }
    const std::string name = ozu::server::registry_name(serial);
    const bool released = store->release(name);
    if (!store->commit()) {
        std::fprintf(stderr, "ozu-ddns-server: cannot release %s: %s\n", name.c_str(), store->error().c_str());
        store->rollback();
        return EXIT_FAILURE;
    }
    std::printf(released ? "released %s\n" : "no device holds %s\n", name.c_str());
    return released ? EXIT_SUCCESS : EXIT_FAILURE;
}

// Every connection takes a descriptor: the soft limit is raised as far as allowed, and the cap kept below it.
void fit_descriptor_limit(ServerConfig& config)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur != RLIM_INFINITY && config.max_connections + kSpareDescriptors > limit.rlim_cur) {
        config.max_connections = limit.rlim_cur > 2 * kSpareDescriptors ? limit.rlim_cur - kSpareDescriptors : 1;
        std::fprintf(stderr, "ozu-ddns-server: at most %zu connections at once: the descriptor limit is %llu\n",
                     config.max_connections, static_cast<unsigned long long>(limit.rlim_cur));
    }
}

// The signals are blocked before any thread starts, so only sigwait receives them.
sigset_t block_stop_signals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

int serve(ServerConfig config, const ozu::server::DnsOptions& dns)
{
    // A log reader that goes away must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    fit_descriptor_limit(config);
    const sigset_t stop_signals = block_stop_signals();
    if (const std::optional<std::string> problem =
            ozu::server::make_dns_publisher(dns, config.zone, config.publisher)) {
        std::fprintf(stderr, "ozu-ddns-server: %s\n", problem->c_str());
        return EXIT_FAILURE;
    }
    ozu::server::Server server(config);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "ozu-ddns-server: %s\n", error.c_str());
        return EXIT_FAILURE;
    }
    std::fprintf(stderr, "ozu-ddns-server: serving zone %s on %s (http %d, register %d, fault %s, database %s)\n",
                 config.zone.c_str(), config.address.c_str(), server.http_port(), server.register_port(),
                 ozu::server::fault_name(config.fault), config.database.c_str());
    int signal = 0;
    sigwait(&stop_signals, &signal);
    server.stop();
    std::fprintf(stderr, "ozu-ddns-server: stopped\n");
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (const std::optional<std::string> problem = parse_options(words, options)) {
        std::fprintf(stderr, "ozu-ddns-server: %s\n", problem->c_str());
        print_usage(stderr);
        return kUsageError;
    }
    switch (options.command) {
    case Command::Help:
        print_usage(stdout);
        return EXIT_SUCCESS;
    case Command::Version:
        std::printf("ozu-ddns-server %s\n", OZU_VERSION);
        return EXIT_SUCCESS;
    case Command::List:
        return list_registry(options.config.database);
    case Command::Release:
        return release_name(options.config.database, options.serial);
    case Command::Serve:
        break;
    }
    return serve(options.config, options.dns);
}
