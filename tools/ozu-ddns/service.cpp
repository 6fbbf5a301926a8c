// run: the DDNS client's background threads as a service in the foreground, for systemd and init
// scripts alike: a configuration file, a pid file and the usual signals.
#include <ozu_dnsupdate/ozu_dnsupdate.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "client_settings.h"
#include "command_line.h"
#include "commands.h"
#include "library_output.h"
#include "messages.h"

namespace ozu::tool {
namespace {

const char kRunUsage[] =
    "usage: ozu-ddns run [--config FILE] [--pidfile FILE] SETTINGS\n"
    "Keeps the device registered over the register channel, in the foreground: the update worker\n"
    "announces it and reports it online every interval, and the domain-name thread asks for its\n"
    "name once a minute. The settings come from FILE (default /etc/ozu-ddns.conf; key = value\n"
    "lines named like the long options, '#' comments), the command line overriding it.\n"
    "  SIGTERM, SIGINT  offline report, then exit: 0, or 1 if the server never confirmed the device\n"
    "  SIGHUP           offline report, re-read the configuration, initialise and start again\n"
    "  SIGUSR1          one online update over HTTP now\n";

// Written once the settings are known, removed when run ends.
class PidFile {
public:
    explicit PidFile(std::string path) : path_(std::move(path))
    {
        if (path_.empty()) {
            return;
        }
        std::FILE* file = std::fopen(path_.c_str(), "w");
        const bool written = file != nullptr && std::fprintf(file, "%ld\n", static_cast<long>(getpid())) > 0;
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            throw Failure("cannot write the pid file " + path_ + ": " + std::strerror(errno));
        }
    }
    ~PidFile()
    {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }
    PidFile(const PidFile&) = delete;
    PidFile& operator=(const PidFile&) = delete;

private:
    std::string path_;
};

// Blocked before any thread starts, the library's included, and taken by sigwait alone.
sigset_t service_signals()
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        sigaddset(&signals, signal);
    }
    return signals;
}

// The settings run with; before the library is told, what it will make of them.
void start_worker(const Settings& settings)
{
    if (settings.interval < kLeastInterval) {
        say(Weight::Notice, "--interval " + std::to_string(settings.interval) + " is raised to " +
                                std::to_string(kLeastInterval) + " by the library, its least for --type 2");
    }
    if (const std::optional<std::string> problem = server_problem(settings.server, std::nullopt)) {
        say(Weight::Notice, *problem + "; the update worker keeps trying");
    }
    say(Weight::Detail, "server " + settings.server + ", serial " + settings.serial + ", interval " +
                            std::to_string(std::max(settings.interval, kLeastInterval)) + " s");
    initialise(settings);
    if (ozu_dnsupdate_start() != 0) {
        throw Failure("the update worker could not start");
    }
}

// A configuration that cannot be used leaves the running one alone.
Settings reload(const Arguments& command_line, const Settings& running)
{
    say(Weight::Notice, "SIGHUP: re-reading the configuration");
    std::optional<Settings> next;
    try {
        next = read_settings(ClientCommand::Run, command_line);
    } catch (const std::runtime_error& error) {
        say(Weight::Error, std::string(error.what()) + "; the running configuration stays");
        return running;
    }
    next->syslog = running.syslog;
    next->pidfile = running.pidfile;
    route_messages(next->verbosity, next->syslog);
    ozu_dnsupdate_stop();
    start_worker(*next);
    return *next;
}

void update_now(LibraryOutput& output)
{
    if (ozu_dnsupdate_once(0) == 0) {
        output.note_confirmed();
        say(Weight::Notice, "SIGUSR1: online update confirmed");
    } else {
        say(Weight::Notice, "SIGUSR1: the server did not confirm the update");
    }
}

int serve(const Arguments& command_line, Settings settings, LibraryOutput& output, const sigset_t& signals)
{
    start_worker(settings);
    const int rdn_error = ozu_dnsupdate_init_rdn();
    if (rdn_error != 0) {
        ozu_dnsupdate_stop();
        throw Failure(std::string("the domain-name thread could not start: ") + std::strerror(rdn_error));
    }
    say(Weight::Notice, "running: SIGTERM or SIGINT stops, SIGHUP reloads, SIGUSR1 updates now");
    int received = 0;
    while (sigwait(&signals, &received) == 0 && (received == SIGHUP || received == SIGUSR1)) {
        if (received == SIGHUP) {
            settings = reload(command_line, settings);
        } else {
            update_now(output);
        }
    }
    say(Weight::Notice, std::string(received == SIGINT ? "SIGINT" : "SIGTERM") + ": stopping after the offline report");
    ozu_dnsupdate_stop();
    output.finish();
    if (!output.confirmed()) {
        throw Failure("stopped without the server ever confirming the device");
    }
    say(Weight::Notice, "stopped");
    return kExitSuccess;
}

}  // namespace

int run_client(const Words& words)
{
    const sigset_t signals = service_signals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const std::optional<Arguments> command_line =
        parse_command(words, client_options(ClientCommand::Run), 0, 0, std::string(kRunUsage) + kSettingsHelp);
    if (!command_line) {
        return kExitSuccess;
    }
    const Settings settings = read_settings(ClientCommand::Run, *command_line);
    route_messages(settings.verbosity, settings.syslog);
    // A closed standard error must not end the service.
    signal(SIGPIPE, SIG_IGN);
    LibraryOutput output(settings.syslog);
    const PidFile pidfile(settings.pidfile);
    return serve(*command_line, settings, output, signals);
}

}  // namespace ozu::tool
