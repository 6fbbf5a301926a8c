// The library writes its messages on the process's standard output and standard error. While a
// client command runs, they are moved off standard output, which keeps the tool's result alone:
// to standard error, or to syslog under --syslog. The update worker's confirmed reports are noted
// on the way.
#ifndef OZU_TOOL_LIBRARY_OUTPUT_H
#define OZU_TOOL_LIBRARY_OUTPUT_H

#include <array>
#include <atomic>
#include <string>
#include <thread>

namespace ozu::tool {

class LibraryOutput {
public:
    explicit LibraryOutput(bool to_syslog);
    ~LibraryOutput();
    LibraryOutput(const LibraryOutput&) = delete;
    LibraryOutput& operator=(const LibraryOutput&) = delete;

    // One line on the standard output the process was started with.
    void print_result(const std::string& line) const;

    // Passes on what the library has written so far and sends its later messages straight to
    // standard error; confirmed() is final from then on.
    void finish();

    bool confirmed() const { return confirmed_; }
    void note_confirmed() { confirmed_ = true; }

private:
    void pump();
    void pass_lines(std::size_t stream, std::string& text, bool ended);
    void forward(std::size_t stream, const std::string& line);

    bool to_syslog_;
    int result_ = -1;
    int error_ = -1;
    // Read ends of the pipes that stand in for the library's standard output and, under --syslog,
    // its standard error.
    std::array<int, 2> pipes_{-1, -1};
    std::atomic<bool> confirmed_{false};
    std::thread reader_;
};

}  // namespace ozu::tool

#endif
