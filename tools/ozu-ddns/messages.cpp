#include "messages.h"

#include <syslog.h>

#include <cstdio>

namespace ozu::tool {
namespace {

Verbosity g_verbosity = Verbosity::Normal;
bool g_to_syslog = false;

}  // namespace

void route_messages(Verbosity verbosity, bool to_syslog)
{
    g_verbosity = verbosity;
    if (to_syslog && !g_to_syslog) {
        openlog("ozu-ddns", LOG_PID, LOG_DAEMON);
    }
    g_to_syslog = to_syslog;
}

void say(Weight weight, const std::string& text)
{
    if ((weight == Weight::Notice && g_verbosity == Verbosity::Quiet) ||
        (weight == Weight::Detail && g_verbosity != Verbosity::Verbose)) {
        return;
    }
    if (g_to_syslog) {
        syslog(weight == Weight::Error ? LOG_ERR : LOG_INFO, "%s", text.c_str());
    } else {
        std::fprintf(stderr, "ozu-ddns: %s\n", text.c_str());
    }
}

}  // namespace ozu::tool
