// ozu-ddns-server: the reference DDNS server as a program. Serves until SIGINT or
// SIGTERM and prints one line per exchange on stdout; problems go to stderr.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "reference_server.h"

namespace {

constexpr int kUsageError = 2;

const char kUsage[] =
    "usage: ozu-ddns-server [options]\n"
    "  --address A         IPv4 address to listen on (default 127.0.0.1)\n"
    "  --http-port N       HTTP interface port (default 8080)\n"
    "  --register-port N   register channel port (default 8879, 0 disables it)\n"
    "  --zone Z            domains are <label>.<zone> (default ddns.test)\n"
    "  --fault MODE        answer every device request with a fault:\n"
    "                      none, stall, close, not-ok, no-markers, oversized, split\n"
    "  --help              show this text\n";

struct Options {
    ozu::server::ServerConfig config;
    bool help = false;
};

std::optional<int> parse_port(const std::string& text, int lowest)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < lowest || value > 65535) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// Applies one "--name value" option; what is wrong with it, if anything.
std::optional<std::string> apply_option(const std::string& name, const std::string& value, Options& options)
{
    ozu::server::ServerConfig& config = options.config;
    if (name == "--address") {
        config.address = value;
    } else if (name == "--http-port" || name == "--register-port") {
        const std::optional<int> port = parse_port(value, name == "--http-port" ? 1 : 0);
        if (!port) {
            return "invalid port for " + name + ": '" + value + "'";
        }
        (name == "--http-port" ? config.http_port : config.register_port) = *port;
    } else if (name == "--zone") {
        config.zone = value;
    } else if (name == "--fault") {
        const std::optional<ozu::server::Fault> fault = ozu::server::parse_fault(value);
        if (!fault) {
            return "unknown fault mode '" + value + "'";
        }
        config.fault = *fault;
    } else {
        return "unknown option '" + name + "'";
    }
    return std::nullopt;
}

std::optional<std::string> parse_options(int argc, char** argv, Options& options)
{
    options.config.http_port = 8080;
    options.config.register_port = 8879;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help") {
            options.help = true;
            return std::nullopt;
        }
        if (name.rfind("--", 0) != 0) {
            return "unexpected argument '" + name + "'";
        }
        if (i + 1 >= argc) {
            return "option " + name + " needs a value";
        }
        if (std::optional<std::string> problem = apply_option(name, argv[++i], options)) {
            return problem;
        }
    }
    return std::nullopt;
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

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const std::optional<std::string> problem = parse_options(argc, argv, options)) {
        std::fprintf(stderr, "ozu-ddns-server: %s\n%s", problem->c_str(), kUsage);
        return kUsageError;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return EXIT_SUCCESS;
    }
    const sigset_t stop_signals = block_stop_signals();
    ozu::server::ReferenceServer server(options.config);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "ozu-ddns-server: %s\n", error.c_str());
        return EXIT_FAILURE;
    }
    const ozu::server::ServerConfig& config = options.config;
    std::fprintf(stderr, "ozu-ddns-server: serving zone %s on %s (http %d, register %d, fault %s)\n",
                 config.zone.c_str(), config.address.c_str(), config.http_port, config.register_port,
                 ozu::server::fault_name(config.fault));
    int signal = 0;
    sigwait(&stop_signals, &signal);
    server.stop();
    return EXIT_SUCCESS;
}
