// The server's registrations, in memory: the identities (serial or MAC, as the device
// sends them) that have reported. A device's domain is "<label>.<zone>", the label made
// from its identity.
#ifndef OZU_SERVER_REGISTRY_H
#define OZU_SERVER_REGISTRY_H

#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace ozu::server {

enum class IdentityKind { Serial, Mac };

class Registry {
public:
    explicit Registry(std::string zone);

    const std::string& zone() const { return zone_; }

    // Records a report and returns the device's domain.
    std::string report(IdentityKind kind, const std::string& identity);
    // The domain of a device that has reported; nullopt otherwise.
    std::optional<std::string> lookup(IdentityKind kind, const std::string& identity) const;

private:
    std::string domain_of(IdentityKind kind, const std::string& identity) const;

    const std::string zone_;
    mutable std::mutex mutex_;
    std::set<std::string> reported_;
};

}  // namespace ozu::server

#endif
