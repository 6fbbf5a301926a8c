#include "rate_limit.h"

#include <algorithm>
#include <utility>

namespace ozu::server {
namespace {

constexpr std::chrono::seconds kReportInterval{1};
constexpr std::chrono::seconds kSweepInterval{1};

double seconds_between(RateLimit::Clock::time_point from, RateLimit::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

RateLimit::RateLimit(unsigned rate) : rate_(rate), capacity_(rate * kBurstSeconds) {}

RateLimit::Decision RateLimit::admit(std::uint32_t source, Clock::time_point now)
{
    if (rate_ == 0) {
        return Decision{};
    }
    auto found = buckets_.find(source);
    if (found == buckets_.end()) {
        if (buckets_.size() >= kMaxSources && now - last_sweep_ >= kSweepInterval) {
            last_sweep_ = now;
            forget_idle(now);
        }
        if (buckets_.size() >= kMaxSources) {
            return Decision{};
        }
        found = buckets_.emplace(source, Bucket{capacity_, now, 0, Clock::time_point{}}).first;
    }
    Bucket& bucket = found->second;
    bucket.tokens = std::min(capacity_, bucket.tokens + seconds_between(bucket.updated, now) * rate_);
    bucket.updated = now;
    if (bucket.tokens >= 1) {
        bucket.tokens -= 1;
        return Decision{};
    }
    ++bucket.refused;
    if (now - bucket.reported < kReportInterval) {
        return Decision{false, 0};
    }
    bucket.reported = now;
    return Decision{false, std::exchange(bucket.refused, 0)};
}

void RateLimit::forget_idle(Clock::time_point now)
{
    for (auto entry = buckets_.begin(); entry != buckets_.end();) {
        const Bucket& bucket = entry->second;
        if (bucket.tokens + seconds_between(bucket.updated, now) * rate_ >= capacity_) {
            entry = buckets_.erase(entry);
        } else {
            ++entry;
        }
    }
}

}  // namespace ozu::server
