#include "registry.h"

#include <arpa/inet.h>

#include <utility>

namespace ozu::server {
namespace {

std::optional<std::uint32_t> ipv4_address(const std::string& text)
{
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return address.s_addr;
}

}  // namespace

Device merged(Device report, const std::optional<Device>& known)
{
    if (!known) {
        report.first_seen = report.last_seen;
        return report;
    }
    report.first_seen = known->first_seen;
    if (report.reported_ip.empty()) {
        report.reported_ip = known->reported_ip;
    }
    if (report.device_code.empty()) {
        report.device_code = known->device_code;
    }
    if (!report.http_port) {
        report.http_port = known->http_port;
    }
    if (!report.server_port) {
        report.server_port = known->server_port;
    }
    return report;
}

std::optional<std::uint32_t> published_address(const Device& device, const PublishPolicy& policy)
{
    if (!device.online && !policy.keep_offline) {
        return std::nullopt;
    }
    if (policy.reported_address) {
        if (const std::optional<std::uint32_t> reported = ipv4_address(device.reported_ip)) {
            return reported;
        }
    }
    return ipv4_address(device.source_ip);
}

std::optional<NameChange> name_change(const std::optional<Device>& before, const std::optional<Device>& after,
                                      const PublishPolicy& policy)
{
    const std::optional<std::uint32_t> old_address = before ? published_address(*before, policy) : std::nullopt;
    const std::optional<std::uint32_t> new_address = after ? published_address(*after, policy) : std::nullopt;
    if (old_address == new_address) {
        return std::nullopt;
    }
    return NameChange{after ? after->name : before->name, new_address};
}

}  // namespace ozu::server
