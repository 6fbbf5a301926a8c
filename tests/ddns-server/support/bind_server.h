// A throwaway BIND 9 for the tests: one primary zone that a TSIG key may update, served on
// 127.0.0.1 at a port of its own, with no control channel; and dig to ask it.
#ifndef OZU_TEST_BIND_SERVER_H
#define OZU_TEST_BIND_SERVER_H

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_directory.h"

namespace ozu::test {

// Polls until the condition holds or the time is up; whether it held.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit);

class BindServer {
public:
    // Writes the zone, a fresh key (tsig-keygen) and the configuration into a new directory.
    explicit BindServer(std::string zone);
    ~BindServer();
    BindServer(const BindServer&) = delete;
    BindServer& operator=(const BindServer&) = delete;

    // Whether named, tsig-keygen and dig are installed.
    static bool installed();

    // Starts named in the foreground of a child process; true once it answers on its port.
    bool start();
    void stop();
    // For a stopped named: a fresh zone file and no journal, as after the zone was lost.
    void lose_zone();

    std::uint16_t port() const { return port_; }
    const std::string& key_file() const { return key_file_; }
    const std::string& zone() const { return zone_; }

    // The name's A records as dig prints them ("NAME TTL IN A ADDRESS"), in the zone's order.
    std::vector<std::string> a_records(const std::string& label) const;
    // How many A records the zone holds, by a signed zone transfer.
    std::size_t a_record_count() const;

private:
    std::string zone_;
    TempDirectory directory_;
    std::string key_file_;
    std::uint16_t port_ = 0;
    pid_t named_ = -1;
};

}  // namespace ozu::test

#endif
