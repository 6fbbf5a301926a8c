#include "exchange_log.h"

#include <array>
#include <ctime>
#include <utility>
#include <vector>

namespace ozu::server {
namespace {

// The texts are printable ASCII already: only the quote and the backslash need escaping.
std::string json_string(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string utc_time(std::chrono::system_clock::time_point now)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    std::array<char, 40> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(text.data() + length, text.size() - length, ".%03dZ", static_cast<int>(millis));
    return text.data();
}

std::string milliseconds(std::chrono::microseconds duration)
{
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.3f", static_cast<double>(duration.count()) / 1000.0);
    return text.data();
}

}  // namespace

std::optional<LogFormat> parse_log_format(const std::string& name)
{
    if (name == "text") {
        return LogFormat::Text;
    }
    if (name == "json") {
        return LogFormat::Json;
    }
    return std::nullopt;
}

std::string format_entry(const ExchangeEntry& entry, LogFormat format, std::chrono::system_clock::time_point now)
{
    if (format == LogFormat::Text) {
        return entry.channel + " " + entry.peer + " " + entry.request + " -> " + entry.reply;
    }
    return "{\"time\":\"" + utc_time(now) + "\",\"channel\":" + json_string(entry.channel) +
           ",\"peer\":" + json_string(entry.peer) + ",\"request\":" + json_string(entry.request) +
           ",\"reply\":" + json_string(entry.reply) + ",\"ms\":" + milliseconds(entry.duration) + "}";
}

ExchangeLog::ExchangeLog(LogFormat format, std::FILE* stream)
    : format_(format), stream_(stream), thread_([this] { write_loop(); })
{
}

ExchangeLog::~ExchangeLog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    ready_.notify_one();
    thread_.join();
}

void ExchangeLog::write(const ExchangeEntry& entry)
{
    std::string line = format_entry(entry, format_, std::chrono::system_clock::now());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.size() >= kMaxQueued) {
            ++dropped_;
            return;
        }
        lines_.push_back(std::move(line));
    }
    ready_.notify_one();
}

void ExchangeLog::write_loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        ready_.wait(lock, [this] { return !lines_.empty() || closing_; });
        if (lines_.empty()) {
            return;
        }
        std::deque<std::string> lines;
        lines.swap(lines_);
        const std::size_t dropped = std::exchange(dropped_, 0);
        lock.unlock();
        for (const std::string& line : lines) {
            std::fprintf(stream_, "%s\n", line.c_str());
        }
        // One flush per batch: whoever follows the log sees each line soon after its exchange.
        std::fflush(stream_);
        if (dropped > 0) {
            std::fprintf(stderr, "ozu-ddns-server: %zu exchange log lines dropped: the log stream is too slow\n",
                         dropped);
        }
        lock.lock();
    }
}

}  // namespace ozu::server
