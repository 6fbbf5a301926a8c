#include "pending_names.h"

namespace ozu::server {

bool PendingNames::put(const NameChange& change)
{
    const auto found = addresses_.find(change.serial);
    if (found != addresses_.end()) {
        found->second = change.address;
        return true;
    }
    if (addresses_.size() >= capacity_) {
        return false;
    }
    addresses_.emplace(change.serial, change.address);
    order_.push_back(change.serial);
    return true;
}

std::vector<NameChange> PendingNames::take(std::size_t count)
{
    std::vector<NameChange> changes;
    while (changes.size() < count && !order_.empty()) {
        const auto found = addresses_.find(order_.front());
        changes.push_back(NameChange{found->first, found->second});
        addresses_.erase(found);
        order_.pop_front();
    }
    return changes;
}

void PendingNames::put_back(const std::vector<NameChange>& changes)
{
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
        if (addresses_.emplace(change->serial, change->address).second) {
            order_.push_front(change->serial);
        }
    }
}

}  // namespace ozu::server
