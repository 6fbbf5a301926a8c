// ozu-load: a fleet of simulated devices on the register channel. Each device has its own serial and
// MAC; its record is built and enciphered by the client library itself. Connections come from several
// loopback source addresses, a bounded number at a time; the run is bounded in time. Prints one line of
// key=value results and, with --confirmed FILE, writes the serials the server confirmed.
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ddns/device_record.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "ddns/record_fields.h"

namespace ozu::tool {
namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

// Serials of eight characters: their ciphertext (16 digits and a NUL) fits the record's field.
constexpr int kMaxDevices = 1000000;
constexpr std::chrono::seconds kExchangeLimit{20};
constexpr std::chrono::milliseconds kTick{10};

struct Options {
    std::string server = "127.0.0.1";
    std::uint16_t port = 8879;
    int devices = 1000;
    int sources = 8;
    std::string first_source = "127.0.1.1";
    int in_flight = 1000;
    int command = DDNS_CMD_START;
    int rate = 0;  // exchanges per second; 0: as fast as the in-flight bound allows
    int time_limit = 90;
    std::string zone = "ddns.test";
    std::string confirmed_file;
};

std::string& zone_text()
{
    static std::string zone;
    return zone;
}

// The library asks the host's configuration for the zone; the generator answers with the one given.
int read_zone(char* buffer, int capacity)
{
    std::snprintf(buffer, static_cast<std::size_t>(capacity), "%s", zone_text().c_str());
    return 0;
}

std::string device_serial(int index)
{
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "ld%06d", index);
    return text.data();
}

// The library prints one line per record it builds; the fleet's records are built with stdout closed.
std::vector<DeviceMsg> build_records(const Options& options)
{
    zone_text() = options.zone;
    std::vector<DeviceMsg> records(static_cast<std::size_t>(options.devices));
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    std::freopen("/dev/null", "w", stdout);
    for (int i = 0; i < options.devices; ++i) {
        const std::string serial = device_serial(i);
        std::array<char, 32> mac{};
        std::array<char, 32> ip{};
        std::snprintf(mac.data(), mac.size(), "02:00:00:%02x:%02x:%02x", (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
        std::snprintf(ip.data(), ip.size(), "10.%d.%d.%d", (i >> 16) & 0xFF, (i >> 8) & 0xFF, (i & 0xFF) | 1);
        const ddns::DeviceSettings settings{ip.data(), mac.data(), serial.c_str(), 0x5A, 80};
        const ddns::DeviceRecord record =
            ddns::build_device_record(options.command, "online", settings, read_zone, EncryptString);
        if (record) {
            records[static_cast<std::size_t>(i)] = *record;
        }
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    return records;
}

struct Results {
    int started = 0;
    int refused = 0;  // a reply without a domain
    int failed = 0;   // no reply: refused connection, reset, timeout
    std::vector<double> latencies_ms;
    std::vector<int> confirmed_devices;
};

class Fleet {
public:
    Fleet(const Options& options, std::vector<DeviceMsg> records)
        : options_(options),
          records_(std::move(records)),
          tick_(io_),
          server_(asio::ip::make_address(options.server), static_cast<std::uint16_t>(options.port)),
          deadline_(Clock::now() + std::chrono::seconds(options.time_limit))
    {
        for (int i = 0; i < options.sources; ++i) {
            sources_.push_back(asio::ip::make_address_v4(asio::ip::make_address_v4(options.first_source).to_uint() +
                                                         static_cast<std::uint32_t>(i)));
        }
    }

    Results run()
    {
        begin_ = Clock::now();
        on_tick();
        io_.run();
        return std::move(results_);
    }

    double elapsed_seconds() const { return std::chrono::duration<double>(end_ - begin_).count(); }

private:
    struct Exchange {
        explicit Exchange(asio::io_context& io) : socket(io), timer(io) {}
        tcp::socket socket;
        asio::steady_timer timer;
        DeviceMsg reply{};
        Clock::time_point started;
        int device = 0;
    };

    bool finished() const { return next_device_ >= options_.devices || Clock::now() >= deadline_; }

    // How many exchanges the rate allows to start by now.
    int allowed_by_rate() const
    {
        if (options_.rate <= 0) {
            return options_.devices;
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - begin_).count();
        return static_cast<int>(elapsed * options_.rate) + 1;
    }

    void on_tick()
    {
        while (!finished() && in_flight_ < options_.in_flight && results_.started < allowed_by_rate()) {
            start(next_device_++);
        }
        if (finished()) {
            end_when_idle();
            return;
        }
        tick_.expires_after(kTick);
        tick_.async_wait([this](const asio::error_code&) { on_tick(); });
    }

    void end_when_idle()
    {
        if (in_flight_ == 0) {
            end_ = Clock::now();
            return;
        }
        tick_.expires_after(kTick);
        tick_.async_wait([this](const asio::error_code&) { end_when_idle(); });
    }

    void start(int device)
    {
        auto exchange = std::make_shared<Exchange>(io_);
        exchange->device = device;
        exchange->started = Clock::now();
        ++in_flight_;
        ++results_.started;
        asio::error_code error;
        exchange->socket.open(tcp::v4(), error);
        // The port is chosen at connect, per destination: each source address has its whole range.
        exchange->socket.set_option(asio::detail::socket_option::boolean<IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT>(true),
                                    error);
        exchange->socket.bind(tcp::endpoint(sources_[static_cast<std::size_t>(device % options_.sources)], 0), error);
        exchange->timer.expires_after(kExchangeLimit);
        exchange->timer.async_wait([exchange](const asio::error_code& e) {
            if (!e) {
                exchange->socket.close();
            }
        });
        exchange->socket.async_connect(server_,
                                       [this, exchange](const asio::error_code& e) { on_connect(exchange, e); });
    }

    void on_connect(const std::shared_ptr<Exchange>& exchange, const asio::error_code& error)
    {
        if (error) {
            finish(exchange, false);
            return;
        }
        asio::async_write(exchange->socket,
                          asio::buffer(&records_[static_cast<std::size_t>(exchange->device)], ddns::kRecordSize),
                          [this, exchange](const asio::error_code& e, std::size_t) {
                              if (e) {
                                  finish(exchange, false);
                                  return;
                              }
                              asio::async_read(exchange->socket, asio::buffer(&exchange->reply, ddns::kRecordSize),
                                               [this, exchange](const asio::error_code& read_error, std::size_t) {
                                                   finish(exchange, !read_error);
                                               });
                          });
    }

    void finish(const std::shared_ptr<Exchange>& exchange, bool replied)
    {
        exchange->timer.cancel();
        exchange->socket.close();
        --in_flight_;
        if (!replied) {
            ++results_.failed;
            return;
        }
        if (ddns::field_text(exchange->reply.szDeviceDomain).empty()) {
            ++results_.refused;
            return;
        }
        results_.confirmed_devices.push_back(exchange->device);
        results_.latencies_ms.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - exchange->started).count());
    }

    const Options& options_;
    std::vector<DeviceMsg> records_;
    asio::io_context io_;
    asio::steady_timer tick_;
    std::vector<asio::ip::address_v4> sources_;
    const tcp::endpoint server_;
    Clock::time_point deadline_;
    Clock::time_point begin_;
    Clock::time_point end_;
    int next_device_ = 0;
    int in_flight_ = 0;
    Results results_;
};

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

std::optional<long> number(const char* text, long lowest, long highest)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

// Applies "--name value"; false when it is not an option or its value is out of range.
bool apply(const std::string& name, const char* value, Options& options)
{
    const std::array<std::pair<const char*, std::string*>, 4> texts = {{{"--server", &options.server},
                                                                        {"--first-source", &options.first_source},
                                                                        {"--zone", &options.zone},
                                                                        {"--confirmed", &options.confirmed_file}}};
    for (const auto& [option, field] : texts) {
        if (name == option) {
            *field = value;
            return true;
        }
    }
    const std::array<std::tuple<const char*, int*, long, long>, 6> numbers = {{
        {"--devices", &options.devices, 1, kMaxDevices},
        {"--sources", &options.sources, 1, 250},
        {"--in-flight", &options.in_flight, 1, 20000},
        {"--command", &options.command, DDNS_CMD_START, DDNS_CMD_UPDATE},
        {"--time-limit", &options.time_limit, 1, 3600},
        {"--rate", &options.rate, 0, 1000000},
    }};
    for (const auto& [option, field, lowest, highest] : numbers) {
        const std::optional<long> parsed = name == option ? number(value, lowest, highest) : std::nullopt;
        if (parsed) {
            *field = static_cast<int>(*parsed);
            return true;
        }
    }
    const std::optional<long> port = name == "--port" ? number(value, 1, 65535) : std::nullopt;
    options.port = port ? static_cast<std::uint16_t>(*port) : options.port;
    return port.has_value();
}

void write_confirmed(const std::string& path, const std::vector<int>& devices)
{
    std::ofstream file(path);
    for (const int device : devices) {
        file << device_serial(device) << '\n';
    }
}

// Drives the fleet and prints its results; 0 when every exchange was confirmed.
int run(const Options& options)
{
    Fleet fleet(options, build_records(options));
    const Results results = fleet.run();
    if (!options.confirmed_file.empty()) {
        write_confirmed(options.confirmed_file, results.confirmed_devices);
    }
    std::printf("started=%d confirmed=%zu refused=%d failed=%d seconds=%.1f p50_ms=%.1f p99_ms=%.1f\n", results.started,
                results.confirmed_devices.size(), results.refused, results.failed, fleet.elapsed_seconds(),
                percentile(results.latencies_ms, 0.5), percentile(results.latencies_ms, 0.99));
    return results.confirmed_devices.size() == static_cast<std::size_t>(results.started) ? 0 : 1;
}

}  // namespace
}  // namespace ozu::tool

int main(int argc, char** argv)
{
    ozu::tool::Options options;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc || !ozu::tool::apply(argv[i], argv[i + 1], options)) {
            std::fprintf(stderr, "ozu-load: bad option '%s'\n", argv[i]);
            return 2;
        }
    }
    try {
        return ozu::tool::run(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ozu-load: %s\n", error.what());
        return 2;
    }
}
