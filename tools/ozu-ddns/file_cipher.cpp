// des encrypt|decrypt: DES::FileEncrypt and DES::FileDecrypt, made all-or-nothing and with progress.
#include <fcntl.h>
#include <ozu_dnsupdate/DES.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "command_line.h"
#include "commands.h"
#include "progress_bar.h"

namespace ozu::tool {
namespace {

constexpr std::size_t kKeyLength = 8;
const std::string kSuffix = ".DES";

const char kHelp[] =
    "usage: ozu-ddns des encrypt|decrypt --key K [--key2 K2] [--triple] FILE\n"
    "Enciphers FILE into FILE.DES, or deciphers FILE.DES back into FILE, 8 bytes at a time in\n"
    "electronic-codebook mode; a last piece shorter than 8 bytes is copied unchanged.\n"
    "  --key K     the key: exactly 8 characters\n"
    "  --key2 K2   the second key of triple DES (default: the first key)\n"
    "  --triple    two-key triple DES (encipher, decipher, encipher) instead of single DES\n"
    "The output appears whole or not at all; it replaces a file of that name.\n";

const std::vector<OptionSpec> kOptions = {{"--key", true}, {"--key2", true}, {"--triple", false}};

struct FileJob {
    bool encrypt = true;
    bool triple = false;
    std::string key;
    std::string key2;
    std::string input;
    std::string output;
};

// The key schedule reads 8 characters and ignores the rest: any other length is refused.
std::string checked_key(const Arguments& arguments, const std::string& name, const std::string& fallback)
{
    std::string key = arguments.value_or(name, fallback);
    if (key.size() != kKeyLength) {
        throw UsageError(name + " must be 8 characters, not " + std::to_string(key.size()));
    }
    return key;
}

bool ends_with_suffix(const std::string& path)
{
    return path.size() > kSuffix.size() && path.compare(path.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
}

FileJob read_job(const Arguments& arguments)
{
    FileJob job;
    const std::string& direction = arguments.operands[0];
    if (direction != "encrypt" && direction != "decrypt") {
        throw UsageError("unknown direction '" + direction + "' (encrypt or decrypt)");
    }
    job.encrypt = direction == "encrypt";
    job.triple = arguments.has("--triple");
    if (!arguments.has("--key")) {
        throw UsageError("--key is required");
    }
    if (arguments.has("--key2") && !job.triple) {
        throw UsageError("--key2 needs --triple");
    }
    job.key = checked_key(arguments, "--key", "");
    job.key2 = checked_key(arguments, "--key2", job.key);
    job.input = file_operand(arguments, 1);
    // FileDecrypt drops the last four characters whatever they are: anything but a .DES name
    // would be deciphered over some other file.
    if (!job.encrypt && !ends_with_suffix(job.input)) {
        throw UsageError("'" + job.input + "' does not end in " + kSuffix);
    }
    job.output = job.encrypt ? job.input + kSuffix : job.input.substr(0, job.input.size() - kSuffix.size());
    return job;
}

std::string directory_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The input's size; a Failure naming the reason when it cannot be read or does not fit the cipher.
long long input_size(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        throw Failure("cannot open " + path + ": " + reason);
    }
    close(fd);
    if (!S_ISREG(status.st_mode)) {
        throw Failure(path + " is not a regular file");
    }
    if (status.st_size > INT_MAX) {
        throw Failure(path + " is 2 GiB or larger");
    }
    return status.st_size;
}

long long file_size(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_size : 0;
}

// A private directory beside the output. The DES object names its output after its input, so a
// link to the input in here makes it write here too; the result is renamed into place only when
// complete, and whatever is left of a failure goes with the directory.
class StagingDirectory {
public:
    explicit StagingDirectory(const FileJob& job)
    {
        std::string pattern = directory_of(job.output) + "/.ozu-ddns-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            throw Failure("cannot create a temporary directory beside " + job.output + ": " + std::strerror(errno));
        }
        path_ = pattern;
        link_ = path_ + "/" + name_of(job.input);
        staged_output_ = path_ + "/" + name_of(job.output);
        char* absolute = realpath(job.input.c_str(), nullptr);
        const bool linked = absolute != nullptr && symlink(absolute, link_.c_str()) == 0;
        const std::string reason = std::strerror(errno);
        std::free(absolute);
        if (!linked) {
            remove_all();
            throw Failure("cannot stage " + job.input + ": " + reason);
        }
    }
    ~StagingDirectory() { remove_all(); }
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    const std::string& input() const { return link_; }
    const std::string& output() const { return staged_output_; }

private:
    void remove_all()
    {
        unlink(staged_output_.c_str());
        unlink(link_.c_str());
        rmdir(path_.c_str());
    }

    std::string path_;
    std::string link_;
    std::string staged_output_;
};

bool run_cipher(const FileJob& job, const std::string& staged_input)
{
    auto des = std::make_unique<DES>();  // about 14 KiB of buffers
    des->InitializeKey(job.key, false);
    des->InitializeKey(job.key2, true);
    return job.encrypt ? des->FileEncrypt(staged_input, job.triple) : des->FileDecrypt(staged_input, job.triple);
}

// Runs the cipher on its own thread and draws the output's growth until it is done.
bool run_with_progress(const FileJob& job, const StagingDirectory& staging, long long size)
{
    std::atomic<bool> done{false};
    bool succeeded = false;
    std::thread worker([&] {
        succeeded = run_cipher(job, staging.input());
        done = true;
    });
    ProgressBar bar(name_of(job.input), size);
    while (!done) {
        bar.show(file_size(staging.output()));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    bar.finish(succeeded);
    return succeeded;
}

}  // namespace

int des_file(const Words& words)
{
    const std::optional<Arguments> arguments = parse_command(words, kOptions, 2, 2, kHelp);
    if (!arguments) {
        return kExitSuccess;
    }
    const FileJob job = read_job(*arguments);
    const long long size = input_size(job.input);
    const StagingDirectory staging(job);
    const bool succeeded =
        ProgressBar::wanted(size) ? run_with_progress(job, staging, size) : run_cipher(job, staging.input());
    if (!succeeded) {
        throw Failure("cannot " + std::string(job.encrypt ? "encrypt " : "decrypt ") + job.input);
    }
    if (rename(staging.output().c_str(), job.output.c_str()) != 0) {
        throw Failure("cannot write " + job.output + ": " + std::strerror(errno));
    }
    return kExitSuccess;
}

}  // namespace ozu::tool
