// Arbitrary replies to the HTTP reply judges of every interface type.
#include "ddns/http_protocol.h"
#include "fuzz_harness.h"

#include <string_view>

namespace {

using ozu::ddns::InterfaceType;
using ozu::test::require;

// A name is a view into the reply: a ':'-field name fits its 100-byte buffer and holds no ':'; a registration
// lookup's name follows "domain=" and runs to the end of the reply.
void check_name(std::string_view name, std::string_view reply, bool after_marker)
{
    require(name.data() >= reply.data() && name.data() + name.size() <= reply.data() + reply.size());
    const std::size_t offset = static_cast<std::size_t>(name.data() - reply.data());
    if (after_marker) {
        require(offset >= 7 && reply.substr(offset - 7, 7) == "domain=" && offset + name.size() == reply.size());
    } else {
        require(!name.empty() && name.size() <= ozu::ddns::kMaxFieldNameLength);
        require(name.find(':') == std::string_view::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    for (const InterfaceType type : {InterfaceType::Plain, InterfaceType::Diy, InterfaceType::Registration}) {
        const bool registration = type == InterfaceType::Registration;
        // An update of type 2 learns no name; types 0 and 1 confirm exactly when they learn one.
        const ozu::ddns::UpdateVerdict verdict = ozu::ddns::judge_update_reply(type, reply);
        require(registration ? !verdict.domain : verdict.confirmed == verdict.domain.has_value());
        if (verdict.domain) {
            check_name(*verdict.domain, reply, false);
        }
        if (const auto name = ozu::ddns::judge_lookup_reply(type, reply)) {
            check_name(*name, reply, registration);
        }
    }
    return 0;
}
