// The name publisher that keeps the devices' A records in DNS: changes queue (bounded, one per
// serial) and a thread of its own sends them in signed updates of many names, backing off while
// the DNS server does not answer.
#ifndef OZU_SERVER_DNS_PUBLISHER_H
#define OZU_SERVER_DNS_PUBLISHER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "dns_update.h"
#include "name_publisher.h"

namespace ozu::server {

// Serials whose changes wait at once; a fleet many times the size we measure.
inline constexpr std::size_t kDefaultPendingNames = 1u << 18;

struct DnsPublisherConfig {
    DnsTarget target;
    std::size_t capacity = kDefaultPendingNames;
    // Receives one line per problem or recovery; stderr when empty.
    std::function<void(const std::string&)> log;
};

class DnsPublisher final : public NamePublisher {
public:
    // A running publisher; null and the reason in *error when the target is not valid.
    static std::unique_ptr<DnsPublisher> start(DnsPublisherConfig config, std::string* error);
    ~DnsPublisher() override;  // stop()

    void publish(const NameChange& change) override;

    // Sends what is queued while the DNS server keeps answering, for a few seconds at most, and
    // ends the thread; what is left goes to DNS at the next start's resynchronisation.
    void stop();

private:
    struct Impl;
    explicit DnsPublisher(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace ozu::server

#endif
