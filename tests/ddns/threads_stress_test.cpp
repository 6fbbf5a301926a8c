// The update worker, the domain-name thread (started before the first initialisation) and host
// threads calling the entry points all at once for a few seconds, against a server that fails
// now and then. Every call must return 0 or -1 within one exchange's bounds. The ThreadSanitizer
// build runs it to find data races.
#include "support/client_test.h"

namespace {

using namespace ozu::test;

// One exchange: the 60-second budget and a connect on loopback.
constexpr auto kCallBound = 61s;

int reinitialise(const char* server, int port, int round)
{
    const char* mac = kMac.c_str();
    return round % 3 == 0   ? ozu_dnsupdate_init(server, port, mac, kIp.c_str(), 5)
           : round % 3 == 1 ? ozu_dnsupdate_init_v1(7, server, port, mac, kIp.c_str(), 80, 5)
                            : ozu_dnsupdate_init_v2(7, server, port, "SN1", mac, kIp.c_str(), 80, 5);
}

// Two threads for each one-shot call, so that they also meet in the resolution lock; my_update
// stands for the domain-name thread at a short interval.
constexpr int kCallKinds = 7;

int call(int kind, int round, const char* server, int port)
{
    char name[4096];
    char online[] = "online";
    switch (kind) {
    case 0:
    case 1:
        return ozu_dnsupdate_once(round % 2);
    case 2:
    case 3:
        return ozu_dnsupdate_getname(name, 128);
    case 4:
        return ozu_dnsupdate_get_domainname(name);
    case 5:
        return ozu_dnsupdate_pause(round % 4 != 0) + reinitialise(server, port, round);
    default:
        return my_update(103, online);
    }
}

TEST(Stress, EntryPointsAndBackgroundThreadsTogetherStayWithinTheirBounds)
{
    const std::string server = test_address();
    const PeerStep answer{Channel::Http, {"HTTP/1.0 200 OK\r\n\r\nACK SUCCESS:a:b:cam1 domain=cam1"}};
    const PeerStep record{Channel::Register, {record_with(103, "ddns.test")}};
    // More steps than the calls take; every third connection of a channel goes unanswered.
    std::vector<PeerStep> script;
    for (int round = 0; round < 5000; ++round) {
        script.insert(script.end(), {answer, answer, {Channel::Http}, record, record, {Channel::Register}});
    }
    const Peer peer(server, script);
    EXPECT_EQ(ozu_dnsupdate_start() + ozu_dnsupdate_stop(), -2);
    testing::internal::CaptureStdout();
    // Holding standard output keeps the domain-name thread at its greeting line until the first
    // initialisation has returned; its first exchange then meets whatever that did to m_lock.
    flockfile(stdout);
    const int created = ozu_dnsupdate_init_rdn();
    reinitialise(server.c_str(), peer.http_port(), 2);
    funlockfile(stdout);
    EXPECT_EQ(created + ozu_dnsupdate_start(), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> successes{0};
    std::vector<std::thread> threads;
    threads.reserve(kCallKinds);
    for (int kind = 0; kind < kCallKinds; ++kind) {
        threads.emplace_back([&, kind] {
            for (int round = 0; !stop; ++round, std::this_thread::sleep_for(2ms)) {
                const auto start = std::chrono::steady_clock::now();
                const int result = call(kind, round, server.c_str(), peer.http_port());
                EXPECT_LT(std::chrono::steady_clock::now() - start, kCallBound);
                EXPECT_TRUE(result == 0 || result == -1) << kind << ": " << result;
                successes += result == 0 ? 1 : 0;
            }
        });
    }
    std::this_thread::sleep_for(5s);
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2 * kCallBound + 1s);
    testing::internal::GetCapturedStdout();
    EXPECT_GT(successes, 0);
}

}  // namespace
