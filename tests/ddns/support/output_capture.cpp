#include "support/output_capture.h"

#include <unistd.h>

namespace ozu_test {

namespace {

std::string contents_of(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, count);
    }
    return text;
}

}  // namespace

OutputCapture::OutputCapture()
{
    std::fflush(stdout);
    std::fflush(stderr);
    outFile_ = std::tmpfile();
    errFile_ = std::tmpfile();
    savedOut_ = dup(STDOUT_FILENO);
    savedErr_ = dup(STDERR_FILENO);
    dup2(fileno(outFile_), STDOUT_FILENO);
    dup2(fileno(errFile_), STDERR_FILENO);
}

OutputCapture::~OutputCapture()
{
    restore();
    if (outFile_ != nullptr) {
        std::fclose(outFile_);
    }
    if (errFile_ != nullptr) {
        std::fclose(errFile_);
    }
}

CapturedOutput OutputCapture::finish()
{
    restore();
    return {contents_of(outFile_), contents_of(errFile_)};
}

void OutputCapture::restore()
{
    if (savedOut_ < 0) {
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut_, STDOUT_FILENO);
    dup2(savedErr_, STDERR_FILENO);
    close(savedOut_);
    close(savedErr_);
    savedOut_ = -1;
    savedErr_ = -1;
}

}  // namespace ozu_test
