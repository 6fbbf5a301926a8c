#include "tool_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tool_test {
namespace {

const std::string kTool = OZU_TOOL_PROGRAM;

// Standard input of the test process, which the child inherits, while it lives.
class InputRedirection {
public:
    explicit InputRedirection(const std::string& path)
        : saved_(dup(STDIN_FILENO)), file_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        dup2(file_, STDIN_FILENO);
    }
    ~InputRedirection() {
        dup2(saved_, STDIN_FILENO);
        close(saved_);
        close(file_);
    }
    InputRedirection(const InputRedirection&) = delete;
    InputRedirection& operator=(const InputRedirection&) = delete;

private:
    int saved_;
    int file_;
};

}  // namespace

ProcessResult run_tool(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) {
    const InputRedirection empty("/dev/null");
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return server_test::run_process(argv, limit);
}

ProcessResult run_tool_with_input(const std::vector<std::string>& arguments, const std::string& input) {
    const ScratchDirectory scratch;
    const std::string path = scratch.path("stdin");
    write_file(path, input);
    const InputRedirection redirected(path);
    std::vector<std::string> argv = {kTool};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return server_test::run_process(argv, std::chrono::seconds(30));
}

void expect_error(const ProcessResult& result, int exit_code, const std::string& message) {
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exit_code, exit_code) << message;
    EXPECT_EQ(result.err, "ozu-ddns: " + message + "\n");
    EXPECT_EQ(result.out, "");
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string sample_bytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
    }
    return bytes;
}

ScratchDirectory::ScratchDirectory() {
    std::string pattern = ::testing::TempDir() + "ozu-ddns-test-XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

ScratchDirectory::~ScratchDirectory() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::set<std::string> ScratchDirectory::entries() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

}  // namespace tool_test
