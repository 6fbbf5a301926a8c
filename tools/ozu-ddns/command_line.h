// The tool's command-line vocabulary: options, the two kinds of error and their exit statuses.
#ifndef OZU_TOOL_COMMAND_LINE_H
#define OZU_TOOL_COMMAND_LINE_H

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace ozu::tool {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The command line or the configuration is wrong: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The operation failed (bad input, a file, the server): exit status 1.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    const char* name;
    bool takes_value;
};

// The option of that name among specs; none when there is no such option.
const OptionSpec* find_spec(const std::vector<OptionSpec>& specs, const std::string& name);

struct Arguments {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> operands;
    // Where an option read from a file stands, as "FILE:LINE: "; nothing for the command line's.
    std::map<std::string, std::string> origins;

    bool has(const std::string& name) const { return values.count(name) != 0 || flags.count(name) != 0; }
    std::string value_or(const std::string& name, const std::string& fallback) const;
    std::string origin(const std::string& name) const;
};

// A command's words as options and from lowest to highest operands; options may stand anywhere
// among the operands. "--help" wins over everything else: the command's help goes to standard
// output and the result is empty.
std::optional<Arguments> parse_command(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                                       std::size_t lowest, std::size_t highest, const std::string& help);

// The operand at index as a file name; one holding a NUL byte, where the system would end it, is a
// usage error.
const std::string& file_operand(const Arguments& arguments, std::size_t index);

}  // namespace ozu::tool

#endif
