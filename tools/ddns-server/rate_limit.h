// The per-source rate limit: a token bucket for each source address, in memory of bounded size.
#ifndef OZU_SERVER_RATE_LIMIT_H
#define OZU_SERVER_RATE_LIMIT_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace ozu::server {

class RateLimit {
public:
    using Clock = std::chrono::steady_clock;

    // A source may open `rate` connections per second on average, and kBurstSeconds' worth at once; 0: no limit.
    explicit RateLimit(unsigned rate);

    struct Decision {
        bool allowed = true;
        // Connections from the source refused since the last report of it, to be reported now; 0 while a report
        // was made less than a second ago.
        std::size_t refused = 0;
    };
    Decision admit(std::uint32_t source, Clock::time_point now);

    static constexpr double kBurstSeconds = 10;
    // Beyond this many sources, those whose bucket has refilled are forgotten (at most once a second); if none
    // has, a new source goes unlimited rather than unserved.
    static constexpr std::size_t kMaxSources = 65536;

private:
    struct Bucket {
        double tokens = 0;
        Clock::time_point updated;
        std::size_t refused = 0;
        Clock::time_point reported;
    };

    void forget_idle(Clock::time_point now);

    const double rate_;
    const double capacity_;
    std::unordered_map<std::uint32_t, Bucket> buckets_;
    Clock::time_point last_sweep_;
};

}  // namespace ozu::server

#endif
