// The server's registrations, in memory: identity (serial or MAC, as the device
// sends it) -> domain "<label>.<zone>" and last reported status.
#ifndef OZU_REF_REGISTRY_H
#define OZU_REF_REGISTRY_H

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace ozu_ref {

enum class IdentityKind { Serial, Mac };

class Registry {
public:
    explicit Registry(std::string zone);

    const std::string& zone() const { return zone_; }

    void assign_label(const std::string& identity, const std::string& label);
    // Records a report and returns the device's domain.
    std::string report(IdentityKind kind, const std::string& identity, const std::string& status);
    // The domain of a device that has reported or was assigned a label; nullopt otherwise.
    std::optional<std::string> lookup(IdentityKind kind, const std::string& identity) const;
    // The last reported status; empty for a device that never reported.
    std::string status(const std::string& identity) const;

    // The label of an identity nobody assigned one to: a serial as it is, a MAC
    // without ':' in lower case.
    static std::string derived_label(IdentityKind kind, const std::string& identity);

private:
    std::string domain_of(IdentityKind kind, const std::string& identity) const;

    const std::string zone_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> labels_;
    std::map<std::string, std::string> statuses_;
};

}  // namespace ozu_ref

#endif
