#include "registry.h"

#include <cctype>
#include <utility>

namespace ozu::server {
namespace {

// A serial as it is, a MAC without ':' in lower case.
std::string label_of(IdentityKind kind, const std::string& identity)
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

}  // namespace

Registry::Registry(std::string zone) : zone_(std::move(zone)) {}

std::string Registry::report(IdentityKind kind, const std::string& identity)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reported_.insert(identity);
    return domain_of(kind, identity);
}

std::optional<std::string> Registry::lookup(IdentityKind kind, const std::string& identity) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (reported_.count(identity) == 0) {
        return std::nullopt;
    }
    return domain_of(kind, identity);
}

std::string Registry::domain_of(IdentityKind kind, const std::string& identity) const
{
    return label_of(kind, identity) + "." + zone_;
}

}  // namespace ozu::server
