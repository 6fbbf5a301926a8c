// Publishing device names into DNS: the key file, the queue of changes, and signed updates applied
// by a BIND 9 that the tests start.
#include "dns_publisher.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dns_options.h"
#include "pending_names.h"
#include "support/bind_server.h"
#include "tsig_key.h"

namespace ozu::test {
namespace {

using namespace std::chrono_literals;
using server::NameChange;

struct KeyFileCase {
    const char* text;
    const char* expected;  // "NAME ALGORITHM SECRET" for a key file, otherwise the error
};

const KeyFileCase kKeyFiles[] = {
    {"key \"ddns-key\" {\n\talgorithm hmac-sha256;\n\tsecret \"c2VjcmV0\";\n};\n", "ddns-key hmac-sha256. c2VjcmV0"},
    {"# by hand\nkey k2 { // old\n algorithm HMAC-MD5; /* still */ secret c2VjcmU=; };",
     "k2 hmac-md5.sig-alg.reg.int. c2VjcmU="},
    {"key k { algorithm hmac-sha512; secret \"c2VjcmV0\"; }; key j { };",
     "line 1: only one key statement is expected, found 'key'"},
    {"key k { algorithm hmac-sha256; };", "line 1: the key needs a name, an algorithm and a secret"},
    {"key k { algorithm hmac-sha257; secret \"c2VjcmV0\"; };", "line 1: unknown algorithm 'hmac-sha257'"},
    {"key k {\n secret \"c2Vj=mV0\"; algorithm hmac-sha1; };", "line 2: the secret is not Base64"},
    {"key k {\n bogus 1; };", "line 2: unexpected 'bogus' in the key statement"},
    {"key k { algorithm hmac-sha256;\n secret \"c2Vj", "line 2: quoted text not closed"},
    {"key k { algorithm hmac-sha256; secret c2VjcmV0; }", "line 1: expected ';', found 'end of file'"},
    {"\n/* key k {", "line 2: comment not closed"},
    {"options { };", "line 1: expected 'key', found 'options'"},
};

TEST(TsigKeyFile, ReadsBindKeyStatementsAndSaysWhatIsWrong)
{
    for (const KeyFileCase& c : kKeyFiles) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<server::TsigKey> key = server::parse_tsig_key(c.text, &error);
        EXPECT_EQ(key ? key->name + " " + key->algorithm + " " + key->secret : error, c.expected);
    }
}

struct DnsOptionCase {
    std::vector<std::string> words;  // option, value, option, value...
    const char* problem;             // what the options or make_dns_publisher() say; "" when fine
};

const DnsOptionCase kDnsOptions[] = {
    {{"--dns-server", "127.0.0.1"}, "--dns-server takes ADDRESS:PORT, not '127.0.0.1'"},
    {{"--dns-server", "::1:53"}, "--dns-server takes ADDRESS:PORT, not '::1:53'"},
    {{"--dns-server", "127.0.0.1:65536"}, "--dns-server takes ADDRESS:PORT, not '127.0.0.1:65536'"},
    {{"--ttl", "-1"}, "invalid TTL for --ttl: '-1'"},
    {{"--dns-server", "[::1]:53"}, "--dns-server needs --tsig-key: the updates are signed"},
    {{"--tsig-key", "k"}, "--tsig-key needs --dns-server"},
    {{"--dns-server", "127.0.0.1:53", "--tsig-key", "/nonexistent"}, "/nonexistent: cannot be read"},
    {{"--ttl", "0"}, ""},
};

TEST(DnsOptions, RefuseWhatCannotPublish)
{
    for (const DnsOptionCase& c : kDnsOptions) {
        SCOPED_TRACE(c.words[0] + " " + c.words[1]);
        server::DnsOptions options;
        std::optional<std::string> problem;
        for (std::size_t i = 0; i + 1 < c.words.size() && !problem; i += 2) {
            EXPECT_TRUE(server::is_dns_option(c.words[i]));
            problem = server::apply_dns_option(c.words[i], c.words[i + 1], options);
        }
        std::shared_ptr<server::NamePublisher> publisher;
        problem = problem ? problem : server::make_dns_publisher(options, "ddns.test", publisher);
        EXPECT_EQ(problem.value_or(""), c.problem);
        EXPECT_FALSE(publisher);
    }
}

std::uint32_t ipv4(const std::string& text)
{
    std::uint32_t address = 0;
    inet_pton(AF_INET, text.c_str(), &address);
    return address;
}

std::vector<std::string> described(const std::vector<NameChange>& changes)
{
    std::vector<std::string> texts;
    texts.reserve(changes.size());
    for (const NameChange& change : changes) {
        texts.push_back(change.serial + (change.address ? "=" + std::to_string(*change.address) : "-"));
    }
    return texts;
}

TEST(PendingNames, KeepsTheLatestChangePerSerialWithinItsBound)
{
    server::PendingNames pending(3);
    EXPECT_TRUE(pending.put({"s1", 1}));
    EXPECT_TRUE(pending.put({"s2", 2}));
    EXPECT_TRUE(pending.put({"s1", 3}));
    EXPECT_TRUE(pending.put({"s3", std::nullopt}));
    EXPECT_FALSE(pending.put({"s4", 4}));
    const std::vector<NameChange> in_flight = pending.take(2);
    EXPECT_EQ(described(in_flight), (std::vector<std::string>{"s1=3", "s2=2"}));
    EXPECT_TRUE(pending.put({"s1", 5}));
    EXPECT_TRUE(pending.put({"s5", 6}));
    pending.put_back(in_flight);
    EXPECT_EQ(described(pending.take(10)), (std::vector<std::string>{"s2=2", "s3-", "s1=5", "s5=6"}));
    EXPECT_TRUE(pending.empty());
}

class DnsPublisherWithBind : public testing::Test {
protected:
    void SetUp() override
    {
        if (!BindServer::installed()) {
            GTEST_SKIP() << "named, tsig-keygen or dig is not installed";
        }
        bind_ = std::make_unique<BindServer>("ddns.test");
        std::string error;
        const std::optional<server::TsigKey> key = server::read_tsig_key(bind_->key_file(), &error);
        ASSERT_TRUE(key) << error;
        server::DnsPublisherConfig config;
        config.target = {{"127.0.0.1", bind_->port()}, bind_->zone(), *key, 60};
        config.log = [this](const std::string& line) {
            const std::lock_guard<std::mutex> lock(log_mutex_);
            log_ += line + "\n";
        };
        publisher_ = server::DnsPublisher::start(config, &error);
        ASSERT_TRUE(publisher_) << error;
    }

    // Labels of the longest length: the updates that carry them must still fit a DNS message.
    void publish_fleet(std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            const std::string label = "n" + std::to_string(i);
            publisher_->publish(
                {label + std::string(63 - label.size(), 'x'), ipv4("10.1.0.1") + static_cast<std::uint32_t>(i << 24)});
        }
    }

    std::string log()
    {
        const std::lock_guard<std::mutex> lock(log_mutex_);
        return log_;
    }

    std::unique_ptr<BindServer> bind_;
    std::unique_ptr<server::DnsPublisher> publisher_;
    std::mutex log_mutex_;
    std::string log_;
};

TEST_F(DnsPublisherWithBind, ReplacesAndWithdrawsNamesInSignedUpdates)
{
    ASSERT_TRUE(bind_->start());
    publisher_->publish({"s1", ipv4("10.0.0.1")});
    publisher_->publish({"s2", ipv4("10.0.0.2")});
    publish_fleet(1200);
    ASSERT_TRUE(eventually([this] { return bind_->a_record_count() == 1202; }, 30s)) << log();
    publisher_->publish({"s1", ipv4("10.0.0.3")});
    publisher_->publish({"s2", std::nullopt});
    publisher_->publish({"s3.s1", ipv4("10.0.0.4")});
    ASSERT_TRUE(eventually([this] { return bind_->a_records("s2").empty(); }, 10s)) << log();
    EXPECT_EQ(bind_->a_records("s1"), (std::vector<std::string>{"s1.ddns.test. 60 IN A 10.0.0.3"}));
    EXPECT_TRUE(bind_->a_records("s3.s1").empty());
    EXPECT_NE(log().find("serial \"s3.s1\" is no DNS label"), std::string::npos) << log();
}

TEST_F(DnsPublisherWithBind, QueuesWhileTheDnsServerIsDownAndCatchesUp)
{
    const auto before = std::chrono::steady_clock::now();
    publish_fleet(1000);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_TRUE(eventually([this] { return log().find("failed") != std::string::npos; }, 10s));
    ASSERT_TRUE(bind_->start());
    ASSERT_TRUE(eventually([this] { return bind_->a_record_count() == 1000; }, 40s)) << log();
    EXPECT_NE(log().find("dns: the server answers again"), std::string::npos) << log();
}

}  // namespace
}  // namespace ozu::test
