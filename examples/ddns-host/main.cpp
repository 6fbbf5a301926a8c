// ozu-ddns-host: registers one device with a DDNS server through libozu_dnsupdate.
// Like a camera or recorder application, it loads the library with dlopen and finds
// the entry points by their plain names with dlsym.
#include <dlfcn.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using InitFn = int (*)(const char* server, int server_port, const char* mac, const char* ip, int interval);
using InitV1Fn = int (*)(std::int32_t device_id, const char* server, int server_port, const char* mac,
                         const char* ip, int http_port, int interval);
using InitV2Fn = int (*)(std::int32_t device_id, const char* server, int server_port, const char* serial,
                         const char* mac, const char* ip, int http_port, int interval);
using ControlFn = int (*)();
using OnceFn = int (*)(int offline);
using GetNameFn = int (*)(char* name, unsigned int size);

// Indexed by interface type.
constexpr std::array<const char*, 3> kInitEntryPoints = {"ozu_dnsupdate_init", "ozu_dnsupdate_init_v1",
                                                         "ozu_dnsupdate_init_v2"};

const char kUsage[] =
    "usage: ozu-ddns-host [options]\n"
    "  --server S       DDNS server name or address (default 127.0.0.1)\n"
    "  --port N         server HTTP port (default 8080); the register channel is always 8879\n"
    "  --serial S       device serial (default SN0001)\n"
    "  --mac M          device MAC address (default 00:11:22:33:44:55)\n"
    "  --ip A           device IP address (default 192.168.1.64)\n"
    "  --type T         server interface: 0 plain, 1 value=, 2 encrypt= (default 2)\n"
    "  --interval N     seconds between online reports (default 300)\n"
    "  --device-id N    device code, decimal or 0x hex (default 0x7)\n"
    "  --http-port N    the device's own HTTP port (default 80)\n"
    "  --hold N         seconds to keep the update worker running before stopping it (default 0)\n"
    "  --library PATH   the library to load (default " OZU_DEFAULT_LIBRARY ")\n"
    "  --help           show this text\n";

struct Settings {
    std::string server = "127.0.0.1";
    int port = 8080;
    std::string serial = "SN0001";
    std::string mac = "00:11:22:33:44:55";
    std::string ip = "192.168.1.64";
    int type = 2;
    int interval = 300;
    std::int32_t device_id = 0x7;
    int http_port = 80;
    int hold = 0;
    std::string library = OZU_DEFAULT_LIBRARY;
    bool help = false;
};

struct EntryPoints {
    InitFn init = nullptr;
    InitV1Fn init_v1 = nullptr;
    InitV2Fn init_v2 = nullptr;
    ControlFn start = nullptr;
    ControlFn stop = nullptr;
    ControlFn init_rdn = nullptr;
    OnceFn once = nullptr;
    GetNameFn getname = nullptr;
};

template <typename Int>
bool read_number(const std::string& text, long lowest, long highest, Int& target) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || value < lowest || value > highest) {
        return false;
    }
    target = static_cast<Int>(value);
    return true;
}

// Applies one "--name value" option; an error message when it is not valid.
std::string apply_option(const std::string& name, const std::string& value, Settings& s) {
    bool valid = true;
    if (name == "--server") {
        s.server = value;
    } else if (name == "--port") {
        valid = read_number(value, 1, 65535, s.port);
    } else if (name == "--serial") {
        s.serial = value;
    } else if (name == "--mac") {
        s.mac = value;
    } else if (name == "--ip") {
        s.ip = value;
    } else if (name == "--type") {
        valid = read_number(value, 0, 2, s.type);
    } else if (name == "--interval") {
        valid = read_number(value, 1, INT32_MAX, s.interval);
    } else if (name == "--device-id") {
        valid = read_number(value, 0, INT32_MAX, s.device_id);
    } else if (name == "--http-port") {
        valid = read_number(value, 1, 65535, s.http_port);
    } else if (name == "--hold") {
        valid = read_number(value, 0, 3600, s.hold);
    } else if (name == "--library") {
        s.library = value;
    } else {
        return "unknown option '" + name + "'";
    }
    return valid ? "" : "invalid value for " + name + ": '" + value + "'";
}

std::string parse_options(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help") {
            settings.help = true;
            return "";
        }
        if (i + 1 >= argc) {
            return name.rfind("--", 0) == 0 ? "option " + name + " needs a value" : "unexpected argument '" + name + "'";
        }
        const std::string problem = apply_option(name, argv[++i], settings);
        if (!problem.empty()) {
            return problem;
        }
    }
    return "";
}

template <typename Fn>
bool find_entry_point(void* library, const char* name, Fn& entry_point) {
    entry_point = reinterpret_cast<Fn>(dlsym(library, name));
    if (entry_point == nullptr) {
        std::fprintf(stderr, "ozu-ddns-host: the library has no entry point %s\n", name);
    }
    return entry_point != nullptr;
}

bool find_entry_points(void* library, int type, EntryPoints& entry) {
    const char* init_name = kInitEntryPoints[static_cast<std::size_t>(type)];
    const bool init_found = type == 0   ? find_entry_point(library, init_name, entry.init)
                            : type == 1 ? find_entry_point(library, init_name, entry.init_v1)
                                        : find_entry_point(library, init_name, entry.init_v2);
    // Every lookup runs, so one attempt names all that are missing.
    const bool start_found = find_entry_point(library, "ozu_dnsupdate_start", entry.start);
    const bool rdn_found = find_entry_point(library, "ozu_dnsupdate_init_rdn", entry.init_rdn);
    const bool once_found = find_entry_point(library, "ozu_dnsupdate_once", entry.once);
    const bool getname_found = find_entry_point(library, "ozu_dnsupdate_getname", entry.getname);
    const bool stop_found = find_entry_point(library, "ozu_dnsupdate_stop", entry.stop);
    return init_found && start_found && rdn_found && once_found && getname_found && stop_found;
}

void initialise(const EntryPoints& entry, const Settings& s) {
    const char* ip = s.ip.c_str();
    switch (s.type) {
        case 0:
            entry.init(s.server.c_str(), s.port, s.mac.c_str(), ip, s.interval);
            break;
        case 1:
            entry.init_v1(s.device_id, s.server.c_str(), s.port, s.mac.c_str(), ip, s.http_port, s.interval);
            break;
        default:
            entry.init_v2(s.device_id, s.server.c_str(), s.port, s.serial.c_str(), s.mac.c_str(), ip, s.http_port,
                          s.interval);
            break;
    }
    std::printf("ozu-ddns-host: %s: server %s, HTTP port %d, interface type %d\n",
                kInitEntryPoints[static_cast<std::size_t>(s.type)], s.server.c_str(), s.port, s.type);
}

void report_step(const char* text) { std::printf("ozu-ddns-host: %s\n", text); }

// Registers, learns the domain name and prints it; an error message on failure.
std::string register_device(const EntryPoints& entry) {
    const int rdn_error = entry.init_rdn();
    if (rdn_error != 0) {
        return std::string("ozu_dnsupdate_init_rdn failed: ") + std::strerror(rdn_error);
    }
    report_step("ozu_dnsupdate_init_rdn: domain-name thread running");
    if (entry.once(0) != 0) {
        return "ozu_dnsupdate_once(0) failed: the server did not confirm the update";
    }
    report_step("ozu_dnsupdate_once(0): the server confirmed the update");
    std::array<char, 128> name{};
    if (entry.getname(name.data(), name.size()) != 0) {
        return "ozu_dnsupdate_getname failed: no domain name learned";
    }
    std::printf("domain name: %s\n", name.data());
    return "";
}

int run(const Settings& settings) {
    // Never closed: the domain-name thread runs library code until the process ends.
    void* library = dlopen(settings.library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "ozu-ddns-host: cannot load %s: %s\n", settings.library.c_str(), dlerror());
        return EXIT_FAILURE;
    }
    EntryPoints entry;
    if (!find_entry_points(library, settings.type, entry)) {
        return EXIT_FAILURE;
    }
    initialise(entry, settings);
    if (entry.start() != 0) {
        std::fprintf(stderr, "ozu-ddns-host: ozu_dnsupdate_start failed\n");
        return EXIT_FAILURE;
    }
    report_step("ozu_dnsupdate_start: update worker running");
    const std::string problem = register_device(entry);
    std::this_thread::sleep_for(std::chrono::seconds(settings.hold));
    entry.stop();  // the worker sends its offline report before it ends
    report_step("ozu_dnsupdate_stop: update worker stopped after its offline report");
    if (!problem.empty()) {
        std::fprintf(stderr, "ozu-ddns-host: %s\n", problem.c_str());
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    // Line by line even into a pipe or file, so these lines, the library's diagnostics and
    // stderr keep their order in a log.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Settings settings;
    const std::string problem = parse_options(argc, argv, settings);
    if (!problem.empty()) {
        std::fprintf(stderr, "ozu-ddns-host: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
    if (settings.help) {
        std::fputs(kUsage, stdout);
        return EXIT_SUCCESS;
    }
    return run(settings);
}
