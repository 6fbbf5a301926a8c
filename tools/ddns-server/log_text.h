// Log entries of one line whatever bytes a device sends.
#ifndef OZU_SERVER_LOG_TEXT_H
#define OZU_SERVER_LOG_TEXT_H

#include <string>

namespace ozu::server {

// Keeps a log entry on one line: control and non-ASCII bytes become \xNN,
// '"' and '\' are escaped so quoted values stay unambiguous.
std::string printable(const std::string& text);

}  // namespace ozu::server

#endif
