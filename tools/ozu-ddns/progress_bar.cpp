#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace ozu::tool {
namespace {

constexpr long long kLargeFile = 1LL << 20;
constexpr int kWidth = 30;

}  // namespace

bool ProgressBar::wanted(long long total)
{
    return total >= kLargeFile && isatty(STDERR_FILENO) == 1;
}

ProgressBar::ProgressBar(std::string label, long long total) : label_(std::move(label)), total_(total) {}

void ProgressBar::show(long long done)
{
    const long long bounded = std::clamp(done, 0LL, total_);
    const int percent = total_ > 0 ? static_cast<int>(bounded * 100 / total_) : 100;
    if (percent == last_percent_) {
        return;
    }
    last_percent_ = percent;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kWidth - filled), ' ').c_str(), percent);
    std::fflush(stderr);
}

void ProgressBar::finish(bool complete)
{
    if (complete) {
        show(total_);
    }
    std::fputc('\n', stderr);
}

}  // namespace ozu::tool
