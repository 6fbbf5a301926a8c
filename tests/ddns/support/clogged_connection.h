// A loopback connection whose client side cannot send: its send buffer is full and the peer
// does not read until asked to drain.
#ifndef OZU_TEST_CLOGGED_CONNECTION_H
#define OZU_TEST_CLOGGED_CONNECTION_H

#include <atomic>
#include <chrono>
#include <thread>

#include "ddns/transport.h"

namespace ozu_test {

class CloggedConnection {
public:
    explicit CloggedConnection(const char* host);
    ~CloggedConnection();
    CloggedConnection(const CloggedConnection&) = delete;
    CloggedConnection& operator=(const CloggedConnection&) = delete;

    ozu::ddns::SocketHandle take_client() { return std::move(client_); }

    // From delay on, the peer reads (and discards) everything; it never answers.
    void drain_after(std::chrono::milliseconds delay);

private:
    void fill_send_buffer();

    int listener_ = -1;
    int server_ = -1;
    ozu::ddns::SocketHandle client_;
    std::atomic<bool> stop_{false};
    std::thread drainer_;
};

}  // namespace ozu_test

#endif
