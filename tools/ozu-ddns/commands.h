// The tool's commands. Each takes the words after its name, writes its result to standard output
// and returns the exit status; errors leave as UsageError or Failure.
#ifndef OZU_DDNS_TOOL_COMMANDS_H
#define OZU_DDNS_TOOL_COMMANDS_H

#include <string>
#include <vector>

namespace ozu::tool {

using Words = std::vector<std::string>;

int encrypt_text(const Words& words);
int decrypt_text(const Words& words);
int des_file(const Words& words);
int base64(const Words& words);
int update_once(const Words& words);
int get_name(const Words& words);
int run_client(const Words& words);

}  // namespace ozu::tool

#endif
