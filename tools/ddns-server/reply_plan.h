// How a computed answer goes out under the current fault mode.
#ifndef OZU_SERVER_REPLY_PLAN_H
#define OZU_SERVER_REPLY_PLAN_H

#include <chrono>
#include <string>
#include <vector>

#include "device_answer.h"
#include "fault.h"

namespace ozu::server {

struct ReplyPlan {
    enum class Action { Send, Stall, Close };
    Action action = Action::Send;
    std::vector<std::string> parts;  // sent in order, kSplitPause apart
    std::string summary;             // the log entry's part after "-> "
};

constexpr std::chrono::milliseconds kSplitPause{200};
// The device reads at most 2047 bytes in one receive; oversized replies put this
// much filler first so that nothing it looks for lies within its read.
constexpr std::size_t kOversizeFiller = 2048;

ReplyPlan plan_http_reply(const HttpAnswer& answer, Fault fault);
ReplyPlan plan_register_reply(const RecordAnswer& answer, Fault fault);

}  // namespace ozu::server

#endif
