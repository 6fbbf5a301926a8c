#include "library_output.h"

#include <fcntl.h>
#include <poll.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "command_line.h"

namespace ozu::tool {
namespace {

// A line longer than this is passed on in pieces, so that nothing the library writes is held
// without bound.
constexpr std::size_t kLongestLine = 4096;
// What the update worker prints when the server has confirmed one of its reports.
constexpr const char* kConfirmedReport = "command:(";

int duplicate(int descriptor)
{
    const int copy = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) {
        throw Failure(std::string("cannot take over the library's messages: ") + std::strerror(errno));
    }
    return copy;
}

// The read end of a new pipe whose write end replaces the descriptor.
int replace_with_pipe(int descriptor)
{
    std::array<int, 2> ends{-1, -1};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) {
        throw Failure(std::string("cannot take over the library's messages: ") + std::strerror(errno));
    }
    dup2(ends[1], descriptor);
    close(ends[1]);
    return ends[0];
}

bool write_all(int descriptor, const std::string& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno != EINTR) {
            return false;
        }
        done += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
    return true;
}

// False once the pipe has ended.
bool read_into(int descriptor, std::string& text)
{
    std::array<char, 1024> chunk{};
    const ssize_t count = read(descriptor, chunk.data(), chunk.size());
    if (count > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(count));
    }
    return count > 0 || (count < 0 && errno == EINTR);
}

}  // namespace

LibraryOutput::LibraryOutput(bool to_syslog) : to_syslog_(to_syslog)
{
    std::fflush(stdout);
    std::fflush(stderr);
    result_ = duplicate(STDOUT_FILENO);
    error_ = duplicate(STDERR_FILENO);
    pipes_[0] = replace_with_pipe(STDOUT_FILENO);
    if (to_syslog_) {
        pipes_[1] = replace_with_pipe(STDERR_FILENO);
    }
    reader_ = std::thread(&LibraryOutput::pump, this);
}

LibraryOutput::~LibraryOutput()
{
    finish();
    close(result_);
    close(error_);
}

void LibraryOutput::print_result(const std::string& line) const
{
    if (!write_all(result_, line + "\n")) {
        throw Failure(std::string("cannot write standard output: ") + std::strerror(errno));
    }
}

// The pipes end once no descriptor writes to them: the library's children have ended with the
// calls that started them, so pointing 1 and 2 elsewhere closes them.
void LibraryOutput::finish()
{
    if (!reader_.joinable()) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(error_, STDOUT_FILENO);
    dup2(error_, STDERR_FILENO);
    reader_.join();
}

void LibraryOutput::pump()
{
    std::array<std::string, 2> pending;
    std::array<pollfd, 2> entries{{{pipes_[0], POLLIN, 0}, {pipes_[1], POLLIN, 0}}};
    while (entries[0].fd >= 0 || entries[1].fd >= 0) {
        poll(entries.data(), entries.size(), -1);
        for (std::size_t stream = 0; stream < entries.size(); ++stream) {
            if (entries[stream].fd >= 0 && entries[stream].revents != 0 &&
                !read_into(entries[stream].fd, pending[stream])) {
                close(std::exchange(entries[stream].fd, -1));
            }
            pass_lines(stream, pending[stream], entries[stream].fd < 0);
        }
    }
}

void LibraryOutput::pass_lines(std::size_t stream, std::string& text, bool ended)
{
    std::size_t end = 0;
    while ((end = text.find('\n')) != std::string::npos || text.size() >= kLongestLine || (ended && !text.empty())) {
        const std::size_t cut = std::min({end, text.size(), kLongestLine});
        forward(stream, text.substr(0, cut));
        text.erase(0, cut == end ? cut + 1 : cut);
    }
}

void LibraryOutput::forward(std::size_t stream, const std::string& line)
{
    if (stream == 0 && line.find(kConfirmedReport) != std::string::npos) {
        confirmed_ = true;
    }
    if (to_syslog_) {
        syslog(stream == 0 ? LOG_INFO : LOG_WARNING, "%s", line.c_str());
    } else {
        write_all(error_, line + "\n");
    }
}

}  // namespace ozu::tool
