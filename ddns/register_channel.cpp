#include "ddns/register_channel.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "ddns/record_fields.h"
#include "ddns/scoped_resources.h"

namespace ozu::ddns {
namespace {

void print_server_address(const char* server, std::uint32_t address, char end)
{
    in_addr internet_address{};
    internet_address.s_addr = address;
    std::array<char, INET_ADDRSTRLEN> dotted{};
    inet_ntop(AF_INET, &internet_address, dotted.data(), dotted.size());
    std::printf("%s\t%d\t%s%c", server, static_cast<int>(address), dotted.data(), end);
}

// Unlike HTTP, the register channel names the server and the address it tried.
void report_connect_failure(ConnectStep failed, const char* server, std::uint32_t address)
{
    const bool unresolved = failed == ConnectStep::Resolve;
    print_server_address(server, address, unresolved ? '\t' : '\n');
    std::perror(unresolved ? "xxxxxxxxxxInitSock" : "connect");
}

// A record that does not go out whole ends the exchange, and so does a peer that closes without
// a reply.
constexpr ChannelRules kRegisterChannel{report_connect_failure, true, true};

bool learn_device_name(const RegisterState& state, const std::string& domain)
{
    // Always a buffer of its own: the name in place may be a shorter exact-size copy.
    HeapText name = compose_device_name(state.serial, domain);
    if (!name) {
        return false;
    }
    std::free(state.device_name);
    state.device_name = name.release();
    return true;
}

bool handle_reply(int request_command, const RegisterReply& reply, const RegisterState& state)
{
    switch (reply.verdict) {
    case ReplyVerdict::NameLearned:
        return learn_device_name(state, reply.domain);
    case ReplyVerdict::NameMissing:
        return false;
    case ReplyVerdict::Confirmed:
        std::printf("command:(%d) domain:%s m_pServer:%s\n", reply.command, reply.domain.c_str(),
                    state.server != nullptr ? state.server : "");
        return true;
    case ReplyVerdict::Refused:
        std::printf("%d,failed\n", request_command);
        return false;
    }
    return false;
}

}  // namespace

SocketHandle open_register_channel(const char* server, Resolver resolve)
{
    // An absent server cannot be copied, so it fails like a failed copy.
    const HeapText server_copy = copy_text(server);
    if (!server_copy) {
        std::perror("strdup failed\n");
        return {};
    }
    return connect_to_server(server_copy.get(), kRegisterPort, resolve, kRegisterChannel);
}

RegisterReply judge_register_reply(const char* bytes, std::size_t length)
{
    // Bytes a short reply did not carry read as zero, so under 217 bytes the domain is empty;
    // a domain without a NUL in its field ends at the field's end.
    DeviceMsg reply{};
    std::memcpy(&reply, bytes, std::min(length, sizeof reply));
    const std::int32_t command = load_le32(reply.nCommand);
    std::string domain = field_text(reply.szDeviceDomain);
    const bool has_domain = !domain.empty();
    ReplyVerdict verdict = has_domain ? ReplyVerdict::Confirmed : ReplyVerdict::Refused;
    if (command == DDNS_CMD_GET_DOMAIN) {
        verdict = has_domain ? ReplyVerdict::NameLearned : ReplyVerdict::NameMissing;
    }
    return RegisterReply{verdict, command, std::move(domain)};
}

HeapText compose_device_name(const char* serial, const std::string& domain)
{
    HeapText name(static_cast<char*>(std::calloc(kDeviceNameCapacity, 1)));
    if (!name) {
        return nullptr;
    }
    // A name longer than the buffer is cut to its 127 characters; calloc left the NUL after them.
    device_domain(serial, domain).copy(name.get(), kDeviceNameCapacity - 1);
    return name;
}

bool run_register_exchange(int command, char* status, const RegisterSteps& steps, const RegisterState& state)
{
    const DeviceRecord record = steps.build_record(command, status);
    if (!record) {
        std::puts("pdeviceMsg is null");
        return false;
    }
    const SocketHandle connection = steps.open_channel();
    store_le32(record->nSocket, connection.get());
    if (!connection) {
        free_text(state.device_name);
        std::perror("my_update");
        return false;
    }
    ExchangeBuffer reply{};
    const std::string_view bytes(reinterpret_cast<const char*>(record.get()), sizeof(DeviceMsg));
    const std::optional<std::size_t> received = exchange_once(connection, bytes, reply, kRegisterChannel);
    return received && handle_reply(command, judge_register_reply(reply.data(), *received), state);
}

}  // namespace ozu::ddns
