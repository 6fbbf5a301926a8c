#include "bind_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace ozu::test {
namespace {

using namespace std::chrono_literals;

const char kKeyName[] = "ozu-test-key";
constexpr std::chrono::milliseconds kStartLimit = 15s;
constexpr std::chrono::milliseconds kStopLimit = 10s;

std::string find_program(const std::string& name)
{
    for (const char* directory : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        std::string path = std::string(directory) + "/" + name;
        if (access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return "";
}

std::string command_output(const std::string& command)
{
    std::string output;
    FILE* stream = popen(command.c_str(), "r");
    if (stream == nullptr) {
        return output;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) {
        output.append(buffer, n);
    }
    pclose(stream);
    return output;
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

// A fresh socket of the type bound to 127.0.0.1 at port (0: the kernel picks); -1 when taken.
int bound_socket(int type, std::uint16_t port)
{
    const int descriptor = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (descriptor >= 0 && bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return descriptor;
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    return -1;
}

// A port that is free for both TCP and UDP on 127.0.0.1 now.
std::uint16_t free_port()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int tcp = bound_socket(SOCK_STREAM, 0);
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &length);
        const std::uint16_t port = ntohs(address.sin_port);
        const int udp = bound_socket(SOCK_DGRAM, port);
        close(tcp);
        if (udp >= 0) {
            close(udp);
            return port;
        }
    }
    return 0;
}

bool answers_tcp(std::uint16_t port)
{
    const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(descriptor);
    return connected;
}

std::string named_conf(const std::string& directory, const std::string& zone, std::uint16_t port)
{
    std::ostringstream conf;
    conf << "include \"" << directory << "/ddns.key\";\n"
         << "options {\n  directory \"" << directory << "\";\n  listen-on port " << port << " { 127.0.0.1; };\n"
         << "  listen-on-v6 { none; };\n  pid-file none;\n  session-keyfile none;\n  recursion no;\n"
         << "  dnssec-validation no;\n  notify no;\n};\ncontrols {};\n"
         << "zone \"" << zone << "\" {\n  type primary;\n  file \"" << directory << "/zone.db\";\n"
         << "  update-policy { grant " << kKeyName << " zonesub A; };\n  allow-transfer { key " << kKeyName
         << "; };\n};\n";
    return conf.str();
}

std::string zone_file(const std::string& zone)
{
    return "$TTL 60\n@ IN SOA localhost. admin." + zone + ". 1 3600 600 86400 60\n@ IN NS localhost.\n";
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        std::istringstream words(line);
        std::string normal;
        for (std::string word; words >> word;) {
            normal += (normal.empty() ? "" : " ") + word;
        }
        if (!normal.empty() && normal[0] != ';') {
            lines.push_back(normal);
        }
    }
    return lines;
}

}  // namespace

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

BindServer::BindServer(std::string zone) : zone_(std::move(zone))
{
    key_file_ = directory_.path("ddns.key");
    port_ = free_port();
    write_file(key_file_, command_output(find_program("tsig-keygen") + " -a hmac-sha256 " + kKeyName));
    write_file(directory_.path("zone.db"), zone_file(zone_));
    write_file(directory_.path("named.conf"), named_conf(directory_.path(), zone_, port_));
}

BindServer::~BindServer()
{
    stop();
}

bool BindServer::installed()
{
    return !find_program("named").empty() && !find_program("tsig-keygen").empty() && !find_program("dig").empty();
}

bool BindServer::start()
{
    const std::string named = find_program("named");
    const std::string conf = directory_.path("named.conf");
    const std::string log = directory_.path("named.log");
    named_ = fork();
    if (named_ == 0) {
        // A test that crashes must not leave its named behind. So named keeps the test's user: the
        // signal would not survive its switch to another.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execl(named.c_str(), "named", "-g", "-c", conf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const bool answers = named_ > 0 && eventually([this] { return answers_tcp(port_); }, kStartLimit);
    if (!answers) {
        stop();
    }
    return answers;
}

void BindServer::stop()
{
    if (named_ <= 0) {
        return;
    }
    kill(named_, SIGTERM);
    if (!eventually([this] { return waitpid(named_, nullptr, WNOHANG) != 0; }, kStopLimit)) {
        kill(named_, SIGKILL);
        waitpid(named_, nullptr, 0);
    }
    named_ = -1;
}

void BindServer::lose_zone()
{
    std::error_code ignored;
    std::filesystem::remove(directory_.path("zone.db.jnl"), ignored);
    write_file(directory_.path("zone.db"), zone_file(zone_));
}

std::vector<std::string> BindServer::a_records(const std::string& label) const
{
    return lines_of(command_output(find_program("dig") + " +noall +answer +time=2 +tries=1 @127.0.0.1 -p " +
                                   std::to_string(port_) + " -t A " + label + "." + zone_ + " 2>/dev/null"));
}

std::size_t BindServer::a_record_count() const
{
    std::size_t count = 0;
    for (const std::string& line :
         lines_of(command_output(find_program("dig") + " +noall +answer +time=5 +tries=1 -k " + key_file_ +
                                 " @127.0.0.1 -p " + std::to_string(port_) + " " + zone_ + " AXFR 2>/dev/null"))) {
        count += line.find(" IN A ") != std::string::npos ? 1 : 0;
    }
    return count;
}

}  // namespace ozu::test
