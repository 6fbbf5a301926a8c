// The host entry points and the register channel on the wire, and each transport fault once per
// channel. A case is data: the configuration, then per call what the server does with the
// connection, the exact bytes the client must send, the result and the messages on each stream;
// at the end the cached name. Every call must keep the process's descriptors as they were and end
// within seconds, the Slow cases when the 60-second budget runs out. Ciphertexts come from the DES
// oracle under the built-in key, never from the library.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "support/client_support.h"
#include "support/des_oracle.h"

namespace ozu::test {
namespace {
using End = PeerStep::End;

enum class Op { Update, Offline, Lookup, NullBuffers, Start, OfflineReport, DomainQuery };
using Init = void (*)(const char* server, int port);

struct Step {
    Init init;  // run first, when set
    Op op;
    std::optional<PeerStep> peer;        // none: the call must not connect
    std::optional<std::string> request;  // none: not checked
    CallOutcome outcome;                 // "{server}": the configured server; "{number}": its address as an int
    unsigned size = 64;                  // the lookup's buffer
};

struct WireCase {
    const char* name;
    std::vector<Step> steps;
    std::optional<std::string> cached;
    Bend bend = Bend::None;
};

const std::string kHostConfig = OZU_TEST_HOST_CONFIG_FILE;
const std::string kRecordBuilt = "cat " + kHostConfig + " | grep 'DIYDDNSServer' | cut -d '=' -f2" +
                                 "EOF!qor function(Init_Device_Msg),szDeviceDomain(SN1.)!!!\n";
const std::string kNoHostConfig = "cat: " + kHostConfig + ": No such file or directory\n";
const std::string kNotConfigured = "DNS server or MAC is null\n: Success\n";
const std::string kQueryTooLong = "registration query over 120 characters: request not sent\n";
const std::string kHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const CallOutcome kDone{0, "", ""};
const CallOutcome kQuiet{-1, "", ""};
const CallOutcome kUnresolved{-1, "{server}\t0\t0.0.0.0\t", "xxxxxxxxxxInitSock: Success\nmy_update: Success\n"};
const CallOutcome kReset{-1, "", "error recv()ing reply: Connection reset by peer\n"};

// The received record with its descriptor number and time checked, then blanked as expected.
std::string checked_record(std::string bytes, int descriptor, std::time_t before, std::time_t after)
{
    if (bytes.size() != 432) {
        return bytes;
    }
    EXPECT_EQ(bytes.substr(4, 4), record_with(descriptor, "").substr(0, 4)) << "nSocket";
    const bool timed = bytes[352] != '\0';
    const long time = timed ? std::stol(bytes.c_str() + 352) : before;
    EXPECT_TRUE(time >= before && time <= after) << time;
    return bytes.replace(4, 4, 4, '\0').replace(352, 16, (timed ? "T" : "") + std::string(timed ? 15 : 16, '\0'));
}

void init_registration(const char* server, int port)
{
    ozu_dnsupdate_init_v2(0x1234, server, port, "SN1", kMac.c_str(), kIp.c_str(), 0, 0);
}

int call(Op op, std::vector<char>& buffer)
{
    char online[] = "online";
    char offline[] = "offline";
    switch (op) {
    case Op::Update:
        return ozu_dnsupdate_once(0);
    case Op::Offline:
        return ozu_dnsupdate_once(7);
    case Op::Lookup:
        return ozu_dnsupdate_getname(buffer.data(), static_cast<unsigned>(buffer.size()));
    case Op::NullBuffers:
        return ozu_dnsupdate_getname(nullptr, 64) + ozu_dnsupdate_get_domainname(nullptr);
    case Op::Start:
        return my_update(101, online);
    case Op::OfflineReport:
        return my_update(102, offline);
    case Op::DomainQuery:
        return my_update(103, online);
    }
    return 0;
}

WireCase fault(const char* name, Op op, std::optional<PeerStep> peer, CallOutcome outcome,
               std::optional<std::string> cached = {}, Bend bend = Bend::None, Init init = init_registration)
{
    return {name, {{init, op, std::move(peer), {}, std::move(outcome)}}, std::move(cached), bend};
}

// One call over each channel on the registration configuration: a lookup over HTTP and a domain
// query over the register channel.
std::vector<WireCase> fault_cases()
{
    const std::string named = record_with(103, "ddns.test");
    const std::string name = kHead + "ACK SUCCESS domain=cam1";
    std::string garbage;
    for (int i = 0; i < 150; ++i) {
        garbage += "\xde\xad\xbe\xef";
    }
    const Channel web = Channel::Http;
    const Channel reg = Channel::Register;
    const auto unresolvable = [](const char*, int port) {
        init_registration("fault.invalid", port);
    };
    const std::string broken_pipe = "error send()ing request:Broken pipe\n";
    return {
        fault("ResetHttp", Op::Lookup, PeerStep{web, {}, End::Reset}, kReset),
        fault("ResetRegister", Op::DomainQuery, PeerStep{reg, {}, End::Reset}, kReset),
        fault("CloseWithoutAnswerHttp", Op::Lookup, PeerStep{web}, kQuiet),
        fault("CloseWithoutAnswerRegister", Op::DomainQuery, PeerStep{reg},
              {-1, "", "error recv()ing reply: Success\n"}),
        // Only the first piece is judged: a head without its body, a record cut before its domain.
        fault("ReplyInTwoPiecesHttp", Op::Lookup, PeerStep{web, {kHead, "ACK SUCCESS domain=cam1"}}, kQuiet),
        fault("ReplyInTwoPiecesRegister", Op::DomainQuery, PeerStep{reg, {named.substr(0, 200), named.substr(200)}},
              kQuiet),
        // One receive of at most 2047 bytes: a marker past them is not seen, bytes past a record are ignored.
        fault("OversizedReplyHttp", Op::Lookup, PeerStep{web, {kHead + std::string(2100, 'x') + name}}, kQuiet),
        fault("OversizedReplyRegister", Op::DomainQuery, PeerStep{reg, {named + std::string(2000, 'x')}}, kDone,
              "SN1.ddns.test"),
        // As a record: another code, and a domain without NUL that ends with its field.
        fault("GarbageHttp", Op::Lookup, PeerStep{web, {garbage}}, kQuiet),
        fault("GarbageRegister", Op::DomainQuery, PeerStep{reg, {garbage}},
              {0, "command:(-272716322) domain:" + garbage.substr(216, 128) + " m_pServer:{server}\n", ""}),
        fault("RefusedHttp", Op::Lookup, {}, {-1, "", "connect: Connection refused\n"}),
        fault("RefusedRegister", Op::DomainQuery, {},
              {-1, "{server}\t{number}\t{server}\n", "connect: Connection refused\nmy_update: Connection refused\n"}),
        fault("UnresolvableHttp", Op::Lookup, {}, kQuiet, {}, Bend::None, unresolvable),
        fault("UnresolvableRegister", Op::DomainQuery, {},
              {-1, "fault.invalid\t0\t0.0.0.0\t", std::get<2>(kUnresolved)}, {}, Bend::None, unresolvable),
        // The busy resolution lock fails the call before it connects (nothing listens).
        fault("ResolutionLockBusyHttp", Op::Lookup, {}, kQuiet, {}, Bend::HeldResolution),
        fault("ResolutionLockBusyRegister", Op::DomainQuery, {}, kUnresolved, {}, Bend::HeldResolution),
        // No SIGPIPE: HTTP goes on to the answer, the register channel ends the exchange.
        fault("VanishedPeerHttp", Op::Lookup, PeerStep{web, {name}}, {0, broken_pipe, ""}, "cam1", Bend::VanishingPeer),
        fault("VanishedPeerRegister", Op::DomainQuery, PeerStep{reg, {named}}, {-1, broken_pipe, ""}, {},
              Bend::VanishingPeer),
        fault("DescriptorAboveFdSetSizeHttp", Op::Lookup, PeerStep{web, {name}}, kDone, "cam1", Bend::HighDescriptors),
        fault("DescriptorAboveFdSetSizeRegister", Op::DomainQuery, PeerStep{reg, {named}}, kDone, "SN1.ddns.test",
              Bend::HighDescriptors),
        fault("SlowStallHttp", Op::Lookup, PeerStep{web, {}, End::Stall}, {-1, "", "timeout\n"}),
        fault("SlowStallRegister", Op::DomainQuery, PeerStep{reg, {}, End::Stall}, {-1, "", "timeout\n"}),
    };
}

std::optional<std::string> cached_domain_name()
{
    std::array<char, 4096> name{};
    const bool known = std::get<0>(captured([&] { return ozu_dnsupdate_get_domainname(name.data()); })) == 0;
    return known ? std::optional<std::string>(name.data()) : std::nullopt;
}

std::string expanded(std::string text, const std::string& server)
{
    const std::string number = std::to_string(static_cast<int>(inet_addr(server.c_str())));
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{server}", server}, {"{number}", number}}) {
        for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
            text.replace(at, key.size(), value);
        }
    }
    return text;
}

class Wire : public testing::TestWithParam<WireCase> {};

TEST_P(Wire, SendsTheExactBytesAndJudgesTheReply)
{
    const std::vector<Step>& steps = GetParam().steps;
    struct stat status {};
    if (std::get<2>(steps[0].outcome) == kNoHostConfig && stat(kHostConfig.c_str(), &status) == 0) {
        GTEST_SKIP() << "this host has its own " << kHostConfig;
    }
    const std::string server = test_address();
    std::vector<PeerStep> script;
    for (const Step& step : steps) {
        script.insert(script.end(), step.peer ? 1 : 0, step.peer.value_or(PeerStep{}));
    }
    Peer peer(server, script);
    // The first resolution loads what the C library keeps open for later ones.
    std::uint32_t loopback = 0;
    ASSERT_EQ(GetHostName("127.0.0.1", &loopback), 0);
    if (!bend_connections(GetParam().bend)) {
        GTEST_SKIP() << "descriptors above FD_SETSIZE are not allowed here";
    }
    const bool slow = std::string(GetParam().name).rfind("Slow", 0) == 0;
    std::size_t connections = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("call " + std::to_string(&step - steps.data() + 1));
        if (step.init != nullptr) {
            step.init(server.c_str(), peer.http_port());
        }
        std::vector<char> buffer(step.size, '#');
        const std::size_t descriptors = open_descriptor_count();
        int lowest = -1;
        const std::time_t before = std::time(nullptr);
        const CallOutcome outcome = captured([&] {
            close(lowest = dup(0));
            return call(step.op, buffer);
        });
        const std::time_t after = std::time(nullptr);
        const auto& [result, out, err] = step.outcome;
        EXPECT_EQ(outcome, (CallOutcome{result, expanded(out, server), expanded(err, server)}));
        EXPECT_EQ(open_descriptor_count(), descriptors);
        EXPECT_TRUE(after - before < (slow ? 75 : 10) && after - before >= (slow ? 59 : 0)) << after - before << " s";
        connections += step.peer ? 1 : 0;
        const std::vector<std::string> requests = peer.requests(connections);
        ASSERT_EQ(requests.size(), connections);
        if (step.peer && step.request) {
            EXPECT_EQ(checked_record(requests.back(), lowest, before, after), expanded(*step.request, server));
        }
        std::string untouched(step.size, '#');
        const std::string name = std::get<0>(outcome) == 0 ? cached_domain_name().value_or("") + '\0' : "";
        EXPECT_TRUE(step.op != Op::Lookup ||
                    std::string(buffer.begin(), buffer.end()) == untouched.replace(0, name.size(), name));
    }
    EXPECT_EQ(cached_domain_name(), GetParam().cached);
}

std::string name_of(const testing::TestParamInfo<WireCase>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, Wire, testing::ValuesIn(fault_cases()), name_of);

// The request forms and records, whose ciphertexts come from OpenSSL.
#ifdef OZU_TEST_OPENSSL
std::string cipher(const std::string& plain)
{
    return oracle_ciphertext(OZU_TEST_DDNS_KEY, plain);
}

std::string get(const std::string& target)
{
    return "GET " + target + " HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:{server}\r\n\r\n";
}

PeerStep http(const std::string& body, const std::string& status = "200 OK")
{
    return {Channel::Http, {"HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n\r\n" + body}};
}

PeerStep answer(int command, const std::string& domain)
{
    return {Channel::Register, {record_with(command, domain)}};
}

// The record of the registration configuration with server port 80; "T" marks a time field,
// which the check compares with the clock.
std::string record(int command, const std::string& status)
{
    std::string bytes = record_with(command, command == 103 ? "" : "SN1.");
    for (const auto& [offset, text] : {std::pair<std::size_t, std::string>{24, cipher("SN1")},
                                       {56, cipher(kIp)},
                                       {120, cipher(kMac)},
                                       {184, cipher("0x1234")},
                                       {344, "80"},
                                       {352, command == 103 ? "" : "T"},
                                       {368, "DDNS"},
                                       {416, status}}) {
        bytes.replace(offset, text.size(), text);
    }
    return bytes;
}

void init_plain(const char* server, int port)
{
    ozu_dnsupdate_init(server, port, kMac.c_str(), kIp.c_str(), 300);
}

void init_diy(const char* server, int port)
{
    ozu_dnsupdate_init_v1(7, server, port, kMac.c_str(), kIp.c_str(), 0, 300);
}

std::vector<WireCase> wire_cases()
{
    const Init init_long_serial = [](const char* server, int port) {
        ozu_dnsupdate_init_v2(7, server, port, std::string(100, 's').c_str(), "M", kIp.c_str(), 80, 300);
    };
    const std::string plain_update = get("/update.php?mymac=" + kMac + "&myip=" + kIp + "&");
    const std::string diy_online = cipher("mymac=" + kMac + "&myip=" + kIp + "&myhttp=80&mytype=7");
    const std::string diy_offline = cipher("mymac=" + kMac + "&myip=" + kIp + "&offline=yes");
    const std::string diy_lookup = cipher("mymac=" + kMac + "&");
    const std::string diy_longest = cipher("mymac=" + std::string(88, 'm') + "&myip=B&myhttp=80&mytype=7");
    const std::string query = "id=SN1&mac=" + kMac + "&port=80&type=0x1234";
    const std::string update = "/register/deviceupdate?encrypt=";
    return {
        {"PlainFormsOfTheLastInitialisation",
         {{[](const char* s, int p) {
               init_diy(s, p);
               init_plain(s, p);
           },
           Op::Update, http("SUCC:online:10.0.0.5:cam1"), plain_update, kDone},
          {nullptr, Op::Update, http("SUCC:online:x"), plain_update, kQuiet},
          {[](const char* s, int p) { ozu_dnsupdate_init(s, p, kMac.c_str(), nullptr, 300); }, Op::Offline,
           http("SUCC:a:b:cam2"), get("/update.php?mymac=" + kMac + "&myip=&offline=yes"), kDone}},
         "cam2"},
        // A fetched name that does not fit is cached quietly; a cached one that does not fit is refused.
        {"PlainLookupIntoBuffersThatFitOrNot",
         {{init_plain,
           Op::NullBuffers,
           http("SUCC:cam1.test"),
           get("/getipbymac.php?do=getsilent&mymac=" + kMac + "&"),
           {-2, "", ""}},
          {nullptr, Op::Lookup, {}, {}, kDone, 10},
          {nullptr, Op::Lookup, {}, {}, {-1, "", "buff too short\n: Success\n"}, 9},
          {nullptr, Op::NullBuffers, {}, {}, {-2, "", "buff too short\n: Success\n"}}},
         "cam1.test"},
        {"DiyFormsAnnounceTheirCiphertext",
         {{init_diy,
           Op::Lookup,
           http("SUCC:cam1"),
           get("/getipbymac.php?do=getsilent&value=" + diy_lookup),
           {0, "DiyDNS Get: /getipbymac.php?do=getsilent&value=" + diy_lookup + "\n", ""}},
          {nullptr,
           Op::Update,
           http("SUCC:a:b:cam1"),
           get("/update.php?value=" + diy_online),
           {0, "DiyDNS Get: /update.php?value=" + diy_online + "\n", ""}},
          {nullptr,
           Op::Offline,
           http("SUCC:a:b:cam1"),
           get("/update.php?value=" + diy_offline),
           {0, "DiyDNS Get: /update.php?value=" + diy_offline + "\n", ""}}},
         "cam1"},
        {"RegistrationFormsFollowTheConfiguration",
         {{[](const char* s, int p) { ozu_dnsupdate_init_v2(0x1234, s, p, "SN1", "M1", kIp.c_str(), 0, 0); },
           Op::Update, http("SUCCESS"), get(update + cipher("id=SN1&mac=M1&port=80&type=0x1234&status=online")), kDone},
          {init_registration, Op::Update, http("SUCCESS"), get(update + cipher(query + "&status=online")), kDone},
          {nullptr, Op::Offline, http("SUCCESS"), get(update + cipher(query + "&status=offline")), kDone},
          {nullptr, Op::Lookup, http("ACK SUCCESS domain=cam1\r\n"),
           get("/register/devicegetdomain?encrypt=" + cipher(query)), kDone},
          {nullptr, Op::Update, http("SUCCESS", "404 Not Found"), {}, kQuiet},
          {[](const char* s, int p) { ozu_dnsupdate_init_v2(7, s, p, nullptr, "M", kIp.c_str(), 80, 300); }, Op::Lookup,
           http("ACK SUCCESS domain="),
           get("/register/devicegetdomain?encrypt=" + cipher("id=&mac=M&port=80&type=0x7")), kDone}},
         ""},
        {"RegistrationQueryOver120CharactersIsNotSent",
         {{init_long_serial, Op::Lookup, {}, {}, {-1, "", kQueryTooLong}},
          {init_plain, Op::Update, http("SUCC:a:b:cam1"), {}, kDone},
          {init_long_serial, Op::Offline, {}, {}, {-1, "", kQueryTooLong}}},
         "cam1"},
        // A query of 120 characters fills its ciphertext buffer; one more would overrun it.
        {"RequestsBeyondTheirBuffersAreNotSent",
         {{[](const char* s, int p) { ozu_dnsupdate_init_v1(7, s, p, std::string(88, 'm').c_str(), "B", 80, 300); },
           Op::Update,
           http("SUCC:a:b:cam1"),
           {},
           {0, "DiyDNS Get: /update.php?value=" + diy_longest + "\n", ""}},
          {[](const char* s, int p) { ozu_dnsupdate_init_v1(7, s, p, std::string(89, 'm').c_str(), "B", 80, 300); },
           Op::Update, PeerStep{}, "", kQuiet},
          {[](const char* s, int p) { ozu_dnsupdate_init(s, p, std::string(2100, 'm').c_str(), "B", 300); }, Op::Update,
           PeerStep{}, "", kQuiet}},
         {}},
        {"RefusedBeforeConnecting",
         {{nullptr, Op::Update, {}, {}, kQuiet},
          {nullptr, Op::Lookup, {}, {}, kQuiet},
          {nullptr, Op::DomainQuery, {}, {}, kQuiet},
          {[](const char*, int p) { init_plain("", p); }, Op::Lookup, {}, {}, kQuiet},
          // A null text drops the earlier setting.
          {[](const char* s, int p) { ozu_dnsupdate_init(s, p, nullptr, "B", 300); },
           Op::Update,
           {},
           {},
           {-1, "", kNotConfigured}},
          {[](const char*, int p) { ozu_dnsupdate_init_v1(7, nullptr, p, "M", "B", 80, 300); },
           Op::Lookup,
           {},
           {},
           {-1, "", kNotConfigured}},
          {[](const char*, int p) { init_plain(nullptr, p); },
           Op::DomainQuery,
           {},
           {},
           {-1, "", "strdup failed\n: Success\nmy_update: Success\n"}},
          {[](const char* s, int p) { ozu_dnsupdate_init(s, p, "M", nullptr, 300); },
           Op::Start,
           {},
           {},
           {-1, "pdeviceMsg is null\n", kNotConfigured}},
          {[](const char* s, int p) { ozu_dnsupdate_init(s, p, "M", "", 300); },
           Op::Start,
           {},
           {},
           {-1, "pdeviceMsg is null\n", ""}}},
         {}},
        // A server port below 1 is taken as 80, which the record carries.
        {"RegisterRecords",
         {{[](const char* s, int) { init_registration(s, 0); },
           Op::Start,
           answer(101, "ddns.test"),
           record(101, "online"),
           {0, kRecordBuilt + "command:(101) domain:ddns.test m_pServer:{server}\n", kNoHostConfig}},
          {nullptr,
           Op::OfflineReport,
           answer(0, ""),
           record(102, "offline"),
           {-1, kRecordBuilt + "102,failed\n", kNoHostConfig}},
          {nullptr, Op::DomainQuery, answer(103, "ddns.test"), record(103, "online"), kDone},
          {nullptr, Op::DomainQuery, answer(103, ""), record(103, "online"), kQuiet}},
         "SN1.ddns.test"},
        // The composed name gets a buffer of its own, never the exact-size copy an HTTP lookup made.
        {"RegisterNameReplacesAShorterOneLearnedOverHttp",
         {{init_registration, Op::Lookup, http("ACK SUCCESS domain=a"), {}, kDone},
          {nullptr, Op::DomainQuery, answer(103, std::string(128, 'd')), {}, kDone}},
         "SN1." + std::string(123, 'd')},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, Wire, testing::ValuesIn(wire_cases()), name_of);
#endif

}  // namespace
}  // namespace ozu::test
