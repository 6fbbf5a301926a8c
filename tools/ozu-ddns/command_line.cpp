#include "command_line.h"

#include <algorithm>
#include <cstdio>

namespace ozu::tool {

const OptionSpec* find_spec(const std::vector<OptionSpec>& specs, const std::string& name)
{
    const auto found =
        std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& spec) { return name == spec.name; });
    return found == specs.end() ? nullptr : &*found;
}

namespace {

void expect_operands(const Arguments& arguments, std::size_t lowest, std::size_t highest)
{
    const std::vector<std::string>& operands = arguments.operands;
    if (operands.size() > highest) {
        throw UsageError("unexpected argument '" + operands[highest] + "'");
    }
    if (operands.size() < lowest) {
        throw UsageError("missing argument");
    }
}

Arguments read_words(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs)
{
    Arguments arguments;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
            arguments.operands.push_back(word);
            continue;
        }
        const OptionSpec* spec = find_spec(specs, word);
        if (spec == nullptr) {
            throw UsageError("unknown option '" + word + "'");
        }
        if (!spec->takes_value) {
            arguments.flags.insert(word);
        } else if (i + 1 < words.size()) {
            arguments.values[word] = words[++i];
        } else {
            throw UsageError("option " + word + " needs a value");
        }
    }
    return arguments;
}

}  // namespace

std::string Arguments::value_or(const std::string& name, const std::string& fallback) const
{
    const auto found = values.find(name);
    return found == values.end() ? fallback : found->second;
}

std::string Arguments::origin(const std::string& name) const
{
    const auto found = origins.find(name);
    return found == origins.end() ? std::string() : found->second;
}

std::optional<Arguments> parse_command(const std::vector<std::string>& words, const std::vector<OptionSpec>& specs,
                                       std::size_t lowest, std::size_t highest, const std::string& help)
{
    if (std::find(words.begin(), words.end(), "--help") != words.end()) {
        std::fputs(help.c_str(), stdout);
        return std::nullopt;
    }
    Arguments arguments = read_words(words, specs);
    expect_operands(arguments, lowest, highest);
    return arguments;
}

const std::string& file_operand(const Arguments& arguments, std::size_t index)
{
    const std::string& path = arguments.operands[index];
    if (path.find('\0') != std::string::npos) {
        throw UsageError("a file name cannot hold a NUL byte");
    }
    return path;
}

}  // namespace ozu::tool
