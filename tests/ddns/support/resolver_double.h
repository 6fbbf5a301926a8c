// The test program's own getaddrinfo, which the library's name resolution calls in place of the C
// library's. Names under ".invalid" are answered as unknown at once, without asking a name
// server, so the tests stay on loopback; kHeldName also waits inside the resolution until the
// HeldResolution that asked for it lets go. Every other name goes to the C library.
#ifndef OZU_TEST_RESOLVER_DOUBLE_H
#define OZU_TEST_RESOLVER_DOUBLE_H

#include <thread>

namespace ozu_test {

inline constexpr const char* kHeldName = "held-resolution.invalid";

// How many ".invalid" names the double has answered.
int invalid_names_answered();

// A thread parked inside GetHostName(kHeldName), so that it holds the library's resolution lock.
class HeldResolution {
public:
    HeldResolution();  // returns once the thread is inside the resolution (bounded wait)
    ~HeldResolution();  // lets the resolution fail and joins the thread
    HeldResolution(const HeldResolution&) = delete;
    HeldResolution& operator=(const HeldResolution&) = delete;

    bool holding() const { return holding_; }

private:
    bool holding_ = false;
    std::thread resolver_;
};

}  // namespace ozu_test

#endif
