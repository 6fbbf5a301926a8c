// The name changes waiting for the DNS server: one per serial, the latest winning, oldest first.
#ifndef OZU_SERVER_PENDING_NAMES_H
#define OZU_SERVER_PENDING_NAMES_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "name_publisher.h"

namespace ozu::server {

class PendingNames {
public:
    // capacity: how many serials put() accepts; put_back() may exceed it by what was taken.
    explicit PendingNames(std::size_t capacity) : capacity_(capacity) {}

    // False when the change is dropped: the queue is full and holds nothing for its serial.
    bool put(const NameChange& change);
    // Up to count changes, oldest first, removed from the queue.
    std::vector<NameChange> take(std::size_t count);
    // Requeues changes that could not be sent, ahead of the rest; a serial that changed again
    // meanwhile keeps its newer change.
    void put_back(const std::vector<NameChange>& changes);

    std::size_t size() const { return addresses_.size(); }
    bool empty() const { return addresses_.empty(); }

private:
    std::size_t capacity_;
    std::deque<std::string> order_;
    std::unordered_map<std::string, std::optional<std::uint32_t>> addresses_;
};

}  // namespace ozu::server

#endif
