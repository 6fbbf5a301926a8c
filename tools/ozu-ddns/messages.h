// What the tool itself says, apart from its results: on standard error, or to syslog under
// --syslog; --quiet keeps the errors alone, --verbose adds the details.
#ifndef OZU_TOOL_MESSAGES_H
#define OZU_TOOL_MESSAGES_H

#include <string>

namespace ozu::tool {

enum class Verbosity { Quiet, Normal, Verbose };
enum class Weight { Error, Notice, Detail };

void route_messages(Verbosity verbosity, bool to_syslog);

// One line, "ozu-ddns: TEXT" on standard error, unless the verbosity leaves it out.
void say(Weight weight, const std::string& text);

}  // namespace ozu::tool

#endif
