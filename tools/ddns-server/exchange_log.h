// The exchange log: one line per exchange on the given stream, as text or as a JSON object, written by a thread
// of its own so that a stream that blocks never holds up a connection.
#ifndef OZU_SERVER_EXCHANGE_LOG_H
#define OZU_SERVER_EXCHANGE_LOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ozu::server {

enum class LogFormat { Text, Json };

std::optional<LogFormat> parse_log_format(const std::string& name);

struct ExchangeEntry {
    std::string channel;  // "http" or "register"
    std::string peer;
    std::string request;                    // as the request reader logs it
    std::string reply;                      // what the server did
    std::chrono::microseconds duration{0};  // from the connection's acceptance to the reply
};

// One entry as a line (without its line end): "<channel> <peer> <request> -> <reply>" or a JSON object with the
// time of writing. The texts are printable already (log_text.h).
std::string format_entry(const ExchangeEntry& entry, LogFormat format, std::chrono::system_clock::time_point now);

class ExchangeLog {
public:
    ExchangeLog(LogFormat format, std::FILE* stream);
    // Writes what is queued.
    ~ExchangeLog();
    ExchangeLog(const ExchangeLog&) = delete;
    ExchangeLog& operator=(const ExchangeLog&) = delete;

    // Never waits for the stream: beyond kMaxQueued waiting lines, entries are dropped and counted on stderr.
    void write(const ExchangeEntry& entry);

    static constexpr std::size_t kMaxQueued = 65536;

private:
    void write_loop();

    const LogFormat format_;
    std::FILE* const stream_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> lines_;
    std::size_t dropped_ = 0;
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace ozu::server

#endif
