// Captures what the process writes to its standard output and standard error while a capture
// is active, so that tests can assert exact messages and the stream they went to.
#ifndef OZU_TEST_OUTPUT_CAPTURE_H
#define OZU_TEST_OUTPUT_CAPTURE_H

#include <cstdio>
#include <string>

namespace ozu_test {

struct CapturedOutput {
    std::string out;
    std::string err;
};

class OutputCapture {
public:
    OutputCapture();  // redirects descriptors 1 and 2 to temporary files
    ~OutputCapture();  // restores them if finish() was not called
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    CapturedOutput finish();

private:
    void restore();

    int savedOut_ = -1;
    int savedErr_ = -1;
    std::FILE* outFile_ = nullptr;
    std::FILE* errFile_ = nullptr;
};

}  // namespace ozu_test

#endif
