#include "messages.h"

#include <syslog.h>

#include <cstdio>

namespace ozu::tool {
namespace {

Verbosity current_verbosity = Verbosity::Normal;
bool messages_to_syslog = false;

}  // namespace

void route_messages(Verbosity verbosity, bool to_syslog)
{
    current_verbosity = verbosity;
    if (to_syslog && !messages_to_syslog) {
        openlog("ozu-ddns", LOG_PID, LOG_DAEMON);
    }
    messages_to_syslog = to_syslog;
}

void say(Weight weight, const std::string& text)
{
    if ((weight == Weight::Notice && current_verbosity == Verbosity::Quiet) ||
        (weight == Weight::Detail && current_verbosity != Verbosity::Verbose)) {
        return;
    }
    if (messages_to_syslog) {
        syslog(weight == Weight::Error ? LOG_ERR : LOG_INFO, "%s", text.c_str());
    } else {
        std::fprintf(stderr, "ozu-ddns: %s\n", text.c_str());
    }
}

}  // namespace ozu::tool
