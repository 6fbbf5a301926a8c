// The client's judgements and bounds as tables of bytes and verdicts, without sockets: the HTTP
// status line, the update and lookup replies of each interface type, the register reply record,
// the device record's fields at their bounds, the DIY DDNS server entry and the resolver's reload.
#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "ddns/device_record.h"
#include "ddns/http_protocol.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "ddns/register_channel.h"
#include "ddns/transport.h"
#include "support/client_support.h"

namespace ozu::test {
namespace {

using namespace ozu::ddns;

TEST(StatusLine, PassesOnHttp1AndCode200Only)
{
    const std::pair<const char*, bool> cases[] = {
        {" \t\r\n HTTP/1.0 200\r\n", true}, {"HTTP/1.1\t 200 OK", true}, {"HTTP/1.1200 OK", true},
        {"HTTP/1.x 200 OK", true},          {"HTTP/1.1 2001 Odd", true}, {"HTTP/1.1 200OK", true},
        {"HTTP/1.1 204 No Content", false}, {"HTTP/2 200", false},       {"HTTP/1.10 200 OK", false},
        {"HTTP/1.1 0200 OK", false},        {"HTTP/1.1 +200 OK", false}, {"http/1.1 200 OK", false},
        {"xHTTP/1.1 200 OK", false},        {"HTTP/1.1 OK", false},      {"HTTP/1.", false},
    };
    for (const auto& [reply, passes] : cases) {
        EXPECT_EQ(http_status_is_ok(reply), passes) << reply;
    }
}

enum class Judge { Update, Lookup };

// The name a reply gives ("" for a confirmed type-2 update), or none when it is refused.
std::optional<std::string> judged(Judge judge, InterfaceType type, const std::string& body)
{
    const std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + body;
    if (judge == Judge::Lookup) {
        const std::optional<std::string_view> name = judge_lookup_reply(type, reply);
        return name ? std::optional<std::string>(*name) : std::nullopt;
    }
    const UpdateVerdict verdict = judge_update_reply(type, reply);
    return verdict.confirmed ? std::optional<std::string>(verdict.domain.value_or("")) : std::nullopt;
}

TEST(HttpReply, IsJudgedByItsMarkersAndFields)
{
    using Type = InterfaceType;
    const std::string n99(99, 'n');
    const std::tuple<Judge, Type, std::string, std::optional<std::string>> cases[] = {
        {Judge::Update, Type::Plain, "SUCC::online:::10.0.0.5::cam1", "cam1"},
        {Judge::Update, Type::Plain, "x:y:z SUCC:a:b:cam1 \r\nmore", "cam1 \r\nmore"},
        {Judge::Update, Type::Plain, "SUCCESS:a:b:cam1:extra", "cam1"},
        {Judge::Update, Type::Plain, "SUCC:a:b:", std::nullopt},
        {Judge::Update, Type::Plain, "FAIL:a:b:c", std::nullopt},
        {Judge::Update, Type::Diy, "SUCC:a:b:" + n99, n99},
        {Judge::Update, Type::Diy, "SUCC:a:b:n" + n99, std::nullopt},
        {Judge::Update, Type::Registration, "X: SUCCESS", ""},
        {Judge::Update, Type::Registration, "SUCC:a:b:cam1", std::nullopt},
        {Judge::Lookup, Type::Plain, "SUCC:::cam1:rest", "cam1"},
        {Judge::Lookup, Type::Plain, "SUCC::", std::nullopt},
        {Judge::Lookup, Type::Diy, "SUCC:" + n99, n99},
        {Judge::Lookup, Type::Diy, "SUCC:n" + n99, std::nullopt},
        {Judge::Lookup, Type::Registration, "ACK-SUCCESS\r\ndomain=cam1\r\ntrailer", "cam1\r\ntrailer"},
        {Judge::Lookup, Type::Registration, "X-domain=first\r\nACK SUCCESS", "first\r\nACK SUCCESS"},
        {Judge::Lookup, Type::Registration, "ACK SUCCESS domain=" + std::string(500, 'n'), std::string(500, 'n')},
        {Judge::Lookup, Type::Registration, "ACKSUCCESS domain=cam1", std::nullopt},
        {Judge::Lookup, Type::Registration, "ACK SUCCES", std::nullopt},
        {Judge::Lookup, Type::Registration, "ACK FAILURE domain=cam1", std::nullopt},
        {Judge::Lookup, Type::Registration, "ACKNOWLEDGED ACK SUCCESS domain=cam1", std::nullopt},
        {Judge::Lookup, Type::Registration, "ACK SUCCESS", std::nullopt},
    };
    for (const auto& [judge, type, body, verdict] : cases) {
        EXPECT_EQ(judged(judge, type, body), verdict) << body;
    }
}

TEST(RegisterReply, IsJudgedOnItsCodeAndDomainField)
{
    const std::string named = record_with(103, "ddns.test");
    const std::tuple<std::string, ReplyVerdict, std::int32_t, std::string> cases[] = {
        {named, ReplyVerdict::NameLearned, 103, "ddns.test"},
        {record_with(103, ""), ReplyVerdict::NameMissing, 103, ""},
        {record_with(101, "d"), ReplyVerdict::Confirmed, 101, "d"},
        {record_with(102, ""), ReplyVerdict::Refused, 102, ""},
        {named.substr(0, 217), ReplyVerdict::NameLearned, 103, "d"},
        {std::string("\x67\x00", 2), ReplyVerdict::NameMissing, 103, ""},
    };
    for (const auto& [bytes, verdict, command, domain] : cases) {
        const RegisterReply reply = judge_register_reply(bytes.data(), bytes.size());
        EXPECT_EQ(std::tie(reply.verdict, reply.command, reply.domain), std::tie(verdict, command, domain))
            << bytes.size() << " bytes";
    }
}

const std::string kEntry =
    "printf 'Port=80\\nDIYDDNSServer=diy.example.test=x\\nDIYDDNSServer=2\\n' | grep "
    "'DIYDDNSServer' | cut -d '=' -f2";

// A host that ignores SIGCHLD has its children reaped at once: pclose fails after the entry was read.
int server_of_a_host_ignoring_children(char* buffer, int capacity)
{
    signal(SIGCHLD, SIG_IGN);
    const int result = read_diy_ddns_server(kEntry.c_str(), buffer, capacity) ? 0 : -1;
    signal(SIGCHLD, SIG_DFL);
    return result;
}

// A text whose ciphertext would not fit its field leaves the field empty; the domain and the port
// text are cut to their fields.
TEST(DeviceRecord, TextsStayInsideTheirFields)
{
    const std::string s9(9, 's');
    const std::string s32(32, 's');
    const std::string d24(24, '1');
    const std::string d25(25, '1');
    const std::string d64(64, '1');
    const DiyServerReader no_server = [](char*, int) {
        return -1;
    };
    const DiyServerReader long_server = [](char* buffer, int capacity) {
        std::memset(buffer, 'a', static_cast<std::size_t>(capacity) - 1);
        return 0;
    };
    const std::tuple<DeviceSettings, DiyServerReader, std::array<std::size_t, 4>, std::string, std::string> cases[] = {
        {{"1.2.3.4", "m", "SERIAL08", 0xffffff, 80}, no_server, {16, 16, 16, 16}, "SERIAL08.", "80"},
        {{"1.2.3.4", "m", s9.c_str(), 0x1000000, 80}, no_server, {0, 16, 16, 0}, s9 + ".", "80"},
        {{d24.c_str(), d24.c_str(), s32.c_str(), -1, 80}, no_server, {0, 48, 48, 0}, s32 + ".", "80"},
        {{d25.c_str(), d64.c_str(), nullptr, 1, 2147483647},
         long_server,
         {16, 0, 0, 16},
         "." + std::string(126, 'a'),
         "2147483"},
        {{"1.2.3.4", "m", "SN1", 1, 80},
         server_of_a_host_ignoring_children,
         {16, 16, 16, 16},
         "SN1.diy.example.test",
         "80"},
    };
    for (const auto& [settings, read_server, digits, domain, port] : cases) {
        const auto text_at = [](const char* bytes, std::size_t at, std::size_t width) {
            return std::string(bytes + at, strnlen(bytes + at, width));
        };
        DeviceRecord owner;
        // Structured bindings are captured by name: clang 14 does not capture them otherwise.
        captured([&, &settings = settings, &read_server = read_server] {
            owner = build_device_record(101, "online", settings, read_server, EncryptString);
            return 0;
        });
        ASSERT_NE(owner, nullptr);
        const char* record = reinterpret_cast<const char*>(owner.get());
        const std::array<std::size_t, 4> lengths{text_at(record, 24, 32).size(), text_at(record, 56, 64).size(),
                                                 text_at(record, 120, 64).size(), text_at(record, 184, 32).size()};
        EXPECT_EQ(lengths, digits) << domain;
        EXPECT_EQ(text_at(record, 216, 128), domain);
        EXPECT_EQ(text_at(record, 344, 8), port);
    }
}

// The first matching line's value runs to the next '='; the buffer takes all but its last byte and must hold 16.
// A null buffer is refused too.
TEST(DiyServerEntry, IsTheSecondFieldOfTheFirstMatchingLineCutToTheBuffer)
{
    const std::string none = "printf 'Port=80\\n' | grep 'DIYDDNSServer'";
    const std::tuple<std::string, int, CallOutcome, std::string> cases[] = {
        {kEntry, 16, {0, kEntry, ""}, "diy.example.tes"},
        {kEntry, 15, {-1, "Param ERROR!", ""}, ""},
        {none, 128, {-1, none + "EOF!", ""}, ""},
    };
    for (const auto& [command, capacity, outcome, text] : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(capacity), '\0');
        // Named captures for clang 14, as above.
        EXPECT_EQ(captured([&, &command = command, capacity = capacity] {
                      return read_diy_ddns_server(command.c_str(), buffer.data(), capacity) ? 0 : -1;
                  }),
                  outcome);
        EXPECT_EQ(std::string(buffer.data()), text);
    }
    EXPECT_EQ(captured([] { return read_diy_ddns_server(kEntry.c_str(), nullptr, 128) ? 0 : -1; }),
              (CallOutcome{-1, "Param ERROR!", ""}));
    std::array<char, 128> buffer{};
    EXPECT_EQ(captured([&] { return server_of_a_host_ignoring_children(buffer.data(), 128); }),
              (CallOutcome{-1, kEntry + "pclose error!", ""}));
    EXPECT_EQ(std::string(buffer.data()), "diy.example.test");
}

int g_reloads = 0;

// Each row: the file's time (-1: no file), then two resolutions and the reloads so far.
TEST(Resolution, ReloadsOncePerChangeOfModificationTime)
{
    char path[] = "/tmp/ozu_resolv_conf_XXXXXX";
    close(mkstemp(path));
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    std::int32_t mtime = 0;
    const ResolverContext context{&lock, &mtime, path, [] {
                                      ++g_reloads;
                                  }};
    std::uint32_t address = 0;
    for (const auto& [seconds, reloads] : {std::pair<time_t, int>{0, 0}, {1000000000, 1}, {999999000, 2}, {-1, 2}}) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(seconds < 0 ? unlink(path) : utimensat(AT_FDCWD, path, times, 0), 0);
        EXPECT_TRUE(resolve_ipv4("127.0.0.9", &address, context));
        EXPECT_TRUE(resolve_ipv4("127.0.0.9", &address, context));
        EXPECT_EQ(address, inet_addr("127.0.0.9"));
        EXPECT_EQ(g_reloads, reloads) << "file time " << seconds;
    }
    EXPECT_EQ(mtime, 999999000) << "a file that cannot be examined leaves the time alone";
    address = 0xdeadbeef;
    EXPECT_FALSE(resolve_ipv4(nullptr, &address, context) || resolve_ipv4("127.0.0.9", nullptr, context));
    EXPECT_EQ(address, 0xdeadbeefU);
}

}  // namespace
}  // namespace ozu::test
