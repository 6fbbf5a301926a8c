#ifndef OZU_REF_LOG_TEXT_H
#define OZU_REF_LOG_TEXT_H

#include <string>

namespace ozu_ref {

// Keeps a log entry on one line: control and non-ASCII bytes become \xNN,
// '"' and '\' are escaped so quoted values stay unambiguous.
std::string printable(const std::string& text);

}  // namespace ozu_ref

#endif
