#include "registry.h"

#include <cctype>
#include <utility>

namespace ozu_ref {

Registry::Registry(std::string zone) : zone_(std::move(zone)) {}

void Registry::assign_label(const std::string& identity, const std::string& label)
{
    std::lock_guard<std::mutex> lock(mutex_);
    labels_[identity] = label;
}

std::string Registry::report(IdentityKind kind, const std::string& identity, const std::string& status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    statuses_[identity] = status;
    return domain_of(kind, identity);
}

std::optional<std::string> Registry::lookup(IdentityKind kind, const std::string& identity) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (statuses_.count(identity) == 0 && labels_.count(identity) == 0) {
        return std::nullopt;
    }
    return domain_of(kind, identity);
}

std::string Registry::status(const std::string& identity) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = statuses_.find(identity);
    return found != statuses_.end() ? found->second : std::string();
}

std::string Registry::derived_label(IdentityKind kind, const std::string& identity)
{
    if (kind == IdentityKind::Serial) {
        return identity;
    }
    std::string label;
    for (const char c : identity) {
        if (c != ':') {
            label += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return label;
}

std::string Registry::domain_of(IdentityKind kind, const std::string& identity) const
{
    const auto assigned = labels_.find(identity);
    const std::string label = assigned != labels_.end() ? assigned->second : derived_label(kind, identity);
    return label + "." + zone_;
}

}  // namespace ozu_ref
