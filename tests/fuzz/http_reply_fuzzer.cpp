// Feeds arbitrary server replies to the HTTP reply judges of every interface type. A name they
// return must be a view into the reply itself, and a ':'-field name must fit its 100-byte buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "ddns/http_protocol.h"

namespace {

using ozu::ddns::InterfaceType;

constexpr InterfaceType kInterfaceTypes[] = {InterfaceType::Plain, InterfaceType::Diy, InterfaceType::Registration};
constexpr std::string_view kDomainMarker = "domain=";

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool lies_within(std::string_view part, std::string_view whole)
{
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

void check_field_name(std::string_view name, std::string_view reply)
{
    require(lies_within(name, reply));
    require(!name.empty() && name.size() <= ozu::ddns::kMaxFieldNameLength);
    require(name.find(':') == std::string_view::npos);
}

void check_marker_name(std::string_view name, std::string_view reply)
{
    require(lies_within(name, reply));
    require(name.data() - reply.data() >= static_cast<std::ptrdiff_t>(kDomainMarker.size()));
    require(std::string_view(name.data() - kDomainMarker.size(), kDomainMarker.size()) == kDomainMarker);
    require(name.data() + name.size() == reply.data() + reply.size());
}

void check_update_verdict(InterfaceType type, std::string_view reply)
{
    const ozu::ddns::UpdateVerdict verdict = ozu::ddns::judge_update_reply(type, reply);
    if (type == InterfaceType::Registration) {
        require(!verdict.domain.has_value());
        return;
    }
    require(verdict.confirmed == verdict.domain.has_value());
    if (verdict.domain) {
        check_field_name(*verdict.domain, reply);
    }
}

void check_lookup_name(InterfaceType type, std::string_view reply)
{
    const std::optional<std::string_view> name = ozu::ddns::judge_lookup_reply(type, reply);
    if (!name) {
        return;
    }
    if (type == InterfaceType::Registration) {
        check_marker_name(*name, reply);
    } else {
        check_field_name(*name, reply);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    for (const InterfaceType type : kInterfaceTypes) {
        check_update_verdict(type, reply);
        check_lookup_name(type, reply);
    }
    return 0;
}
