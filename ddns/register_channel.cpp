#include "ddns/register_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "ddns/record_fields.h"
#include "ddns/scoped_resources.h"

namespace ozu::ddns {
namespace {

void print_server_address(const char* server, const sockaddr_in& address, char end)
{
    std::array<char, INET_ADDRSTRLEN> dotted{};
    inet_ntop(AF_INET, &address.sin_addr, dotted.data(), dotted.size());
    std::printf("%s\t%d\t%s%c", server, static_cast<int>(address.sin_addr.s_addr), dotted.data(), end);
}

bool connect_register_socket(int descriptor, const char* server, Resolver resolve)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (resolve(server, &address.sin_addr.s_addr) != 0) {
        print_server_address(server, address, '\t');
        std::perror("xxxxxxxxxxInitSock");
        return false;
    }
    address.sin_port = htons(kRegisterPort);
    if (connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == -1) {
        print_server_address(server, address, '\n');
        std::perror("connect");
        return false;
    }
    return true;
}

void forget_device_name(char** device_name)
{
    std::free(*device_name);
    *device_name = nullptr;
}

int learn_device_name(const RegisterState& state, const std::string& domain)
{
    // Always a buffer of its own: the name in place may be a shorter exact-size copy.
    char* name = compose_device_name(state.serial, domain);
    if (name == nullptr)
        return -1;
    std::free(*state.device_name);
    *state.device_name = name;
    return 0;
}

int handle_reply(int request_command, const RegisterReply& reply, const RegisterState& state)
{
    switch (reply.verdict) {
    case ReplyVerdict::NameLearned:
        return learn_device_name(state, reply.domain);
    case ReplyVerdict::NameMissing:
        return -1;
    case ReplyVerdict::Confirmed:
        std::printf("command:(%d) domain:%s m_pServer:%s\n", reply.command, reply.domain.c_str(),
                    state.server != nullptr ? state.server : "");
        return 0;
    case ReplyVerdict::Refused:
        std::printf("%d,failed\n", request_command);
        return -1;
    }
    return -1;
}

}  // namespace

int open_register_channel(const char* server, Resolver resolve)
{
    // An absent server cannot be copied, so it fails like a failed copy.
    const HeapText server_copy = copy_text(server);
    if (!server_copy) {
        std::perror("strdup failed\n");
        return -1;
    }
    const int descriptor = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (descriptor == -1) {
        std::perror("socket");
        return -1;
    }
    if (!connect_register_socket(descriptor, server_copy.get(), resolve)) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

int exchange_device_record(int socket, const char* record, ExchangeBuffer& reply, std::chrono::milliseconds budget)
{
    const ExchangeDeadline deadline(budget);
    if (!wait_until_writable(socket, deadline))
        return -1;
    // MSG_NOSIGNAL: a server that has gone away must not end the host with SIGPIPE.
    if (send(socket, record, sizeof(DeviceMsg), MSG_NOSIGNAL) < 1) {
        std::printf("error send()ing request:%s\n", std::strerror(errno));
        return -1;
    }
    if (!wait_until_readable(socket, deadline))
        return -1;
    // A peer that closed without answering leaves errno alone: report "Success", not a stale error.
    errno = 0;
    const ssize_t received = recv(socket, reply.data(), reply.size() - 1, 0);
    if (received < 1) {
        std::fprintf(stderr, "error recv()ing reply: %s\n", std::strerror(errno));
        return -1;
    }
    return static_cast<int>(received);
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
    if (command == DDNS_CMD_GET_DOMAIN)
        verdict = has_domain ? ReplyVerdict::NameLearned : ReplyVerdict::NameMissing;
    return RegisterReply{verdict, command, std::move(domain)};
}

char* compose_device_name(const char* serial, const std::string& domain)
{
    auto* name = static_cast<char*>(std::calloc(kDeviceNameCapacity, 1));
    if (name == nullptr)
        return nullptr;
    const std::string composed = device_domain(serial, domain);
    // A name longer than the buffer is cut to its 127 characters.
    std::memcpy(name, composed.data(), std::min(composed.size(), kDeviceNameCapacity - 1));
    return name;
}

int run_register_exchange(int command, char* status, const RegisterSteps& steps, const RegisterState& state)
{
    HeapText record(steps.build_record(command, status));
    if (!record) {
        std::puts("pdeviceMsg is null");
        return -1;
    }
    const int socket = steps.open_channel();
    store_le32(reinterpret_cast<DeviceMsg*>(record.get())->nSocket, socket);
    if (socket < 0) {
        forget_device_name(state.device_name);
        std::perror("my_update");
        return -1;
    }
    const SocketHandle connection(socket);
    ExchangeBuffer reply{};
    const int received = exchange_device_record(socket, record.get(), reply);
    if (received < 1)
        return -1;
    return handle_reply(command, judge_register_reply(reply.data(), static_cast<std::size_t>(received)), state);
}

}  // namespace ozu::ddns
