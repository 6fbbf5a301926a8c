// A one-line progress bar on standard error, redrawn in place.
#ifndef OZU_DDNS_TOOL_PROGRESS_BAR_H
#define OZU_DDNS_TOOL_PROGRESS_BAR_H

#include <string>

namespace ozu::tool {

class ProgressBar {
public:
    // Only a terminal on standard error and a file large enough to take a while get one.
    static bool wanted(long long total);

    ProgressBar(std::string label, long long total);
    void show(long long done);
    // Draws the final state and ends the line.
    void finish(bool complete);

private:
    std::string label_;
    long long total_;
    int last_percent_ = -1;
};

}  // namespace ozu::tool

#endif
