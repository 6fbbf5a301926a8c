// Running ozu-ddns as a child process, feeding it standard input, and a scratch directory per test.
#ifndef OZU_TOOL_TEST_SUPPORT_H
#define OZU_TOOL_TEST_SUPPORT_H

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "server_test_support.h"

namespace tool_test {

using server_test::ProcessResult;

// The tool with these arguments and an empty standard input, killed after the limit.
ProcessResult run_tool(const std::vector<std::string>& arguments,
                       std::chrono::milliseconds limit = std::chrono::seconds(30));

// The same with input on its standard input.
ProcessResult run_tool_with_input(const std::vector<std::string>& arguments, const std::string& input);

// Exit status, exactly one line "ozu-ddns: <message>" on standard error, nothing on standard output.
void expect_error(const ProcessResult& result, int exit_code, const std::string& message);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// Bytes that cover every value, zero included, and end in a part block.
std::string sample_bytes(std::size_t count);

class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string path(const std::string& name) const { return path_ + "/" + name; }
    // The names in the directory, dot files included.
    std::set<std::string> entries() const;

private:
    std::string path_;
};

}  // namespace tool_test

#endif
