#include "reply_plan.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "ddns/record_fields.h"
#include "log_text.h"
#include "record_request.h"

namespace ozu::server {
namespace {

// Free of every marker a device looks for ("SUCC", "ACK", "domain=").
const std::string kMarkerFreeBody = "no registration data";

ReplyPlan sent(std::vector<std::string> parts, std::string summary)
{
    return ReplyPlan{ReplyPlan::Action::Send, std::move(parts), std::move(summary)};
}

// Stall and CloseWithoutAnswer look the same on both channels.
std::optional<ReplyPlan> silent_plan(Fault fault)
{
    if (fault == Fault::Stall) {
        return ReplyPlan{ReplyPlan::Action::Stall, {}, "no answer (stall)"};
    }
    if (fault == Fault::CloseWithoutAnswer) {
        return ReplyPlan{ReplyPlan::Action::Close, {}, "closed without answer"};
    }
    return std::nullopt;
}

std::string record_summary(std::int32_t code, const std::string& domain)
{
    return std::to_string(code) + " " + (domain.empty() ? std::string("(empty domain)") : printable(domain));
}

}  // namespace

const char* fault_name(Fault fault)
{
    for (const FaultName& entry : kFaultNames) {
        if (entry.fault == fault) {
            return entry.name;
        }
    }
    return "none";
}

std::optional<Fault> parse_fault(const std::string& name)
{
    for (const FaultName& entry : kFaultNames) {
        if (name == entry.name) {
            return entry.fault;
        }
    }
    return std::nullopt;
}

ReplyPlan plan_http_reply(const HttpAnswer& answer, Fault fault)
{
    const std::string summary = std::to_string(answer.status) + " " + printable(answer.body);
    if (answer.status != 200 || fault == Fault::None) {
        return sent({http_reply_head(answer.status) + answer.body}, summary);
    }
    if (std::optional<ReplyPlan> silence = silent_plan(fault)) {
        return *silence;
    }
    switch (fault) {
    case Fault::NotOk:
        return sent({http_reply_head(404) + answer.body}, "404 " + printable(answer.body));
    case Fault::NoMarkers:
        return sent({http_reply_head(200) + kMarkerFreeBody}, "200 " + kMarkerFreeBody);
    case Fault::Oversized:
        return sent({http_reply_head(answer.status) + std::string(kOversizeFiller, '.') + answer.body},
                    summary + " after " + std::to_string(kOversizeFiller) + " filler bytes");
    case Fault::SplitReply:
        return sent({http_reply_head(answer.status), answer.body}, summary + " (body sent separately)");
    default:
        return sent({http_reply_head(answer.status) + answer.body}, summary);
    }
}

ReplyPlan plan_register_reply(const RecordAnswer& answer, Fault fault)
{
    if (!answer.answered) {
        return ReplyPlan{ReplyPlan::Action::Close, {}, "closed without answer (" + answer.note + ")"};
    }
    if (std::optional<ReplyPlan> silence = silent_plan(fault)) {
        return *silence;
    }
    const std::string reply = encode_reply(answer.code, answer.domain);
    const std::string summary =
        record_summary(answer.code, answer.domain) + (answer.note.empty() ? "" : ": " + answer.note);
    // A first part that ends where the domain field starts carries none of it.
    constexpr std::size_t kSplitAt = offsetof(DeviceMsg, szDeviceDomain);
    switch (fault) {
    case Fault::NotOk:
        return sent({encode_reply(answer.code, "")}, record_summary(answer.code, ""));
    case Fault::NoMarkers:
        return sent({encode_reply(0, "")}, record_summary(0, ""));
    case Fault::Oversized:
        return sent({std::string(kOversizeFiller, '\0') + reply},
                    summary + " after " + std::to_string(kOversizeFiller) + " zero bytes");
    case Fault::SplitReply:
        return sent({reply.substr(0, kSplitAt), reply.substr(kSplitAt)}, summary + " (in two sends)");
    default:
        return sent({reply}, summary);
    }
}

}  // namespace ozu::server
