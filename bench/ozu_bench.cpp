// Measures the cipher and the codec against their peers in one run on the same data, prints every
// figure with its ratio to the peer, and fails when a target ratio or the library size is missed.
//
//   ozu-bench [--arm-library=PATH] [benchmark options]
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codec/CodecBase64.h"
#include "ddns/encrypt_key.h"
#include "ddns/ozu_dnsupdate_module.h"
#include "des/DES.h"
#include "des/DESReference.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileBytes = 64u << 20;
constexpr std::size_t kCodecBytes = 48u << 10;
constexpr std::size_t kLongMessageChars = 4088;
constexpr char kRequestText[] = "id=SN0123456789AB&mac=00:11:22:33:44:55&port=8080";
constexpr char kFileKey[] = "k3y-0f-8";
constexpr char kSecondFileKey[] = "2nd-k3y!";

std::string RandomBytes(std::size_t count, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

std::string RandomText(std::size_t count, unsigned seed)
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789=&.:";
    std::mt19937_64 random(seed);
    std::string text(count, 'x');
    for (char& c : text)
        c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    return text;
}

/* The 64 MiB input: one file that FileEncrypt reads, and the same bytes in memory for OpenSSL. */
struct FileData {
    fs::path directory;
    fs::path path;
    std::string bytes;

    FileData()
    {
        char pattern[] = "/tmp/ozu_bench.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            std::exit(2);
        }
        directory = pattern;
        path = directory / "input.bin";
        bytes = RandomBytes(kFileBytes, 1);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    ~FileData()
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
};

FileData& Data()
{
    static FileData data;
    return data;
}

void FileEncrypt(benchmark::State& state, bool triple)
{
    DES des;
    des.InitializeKey(kFileKey, false);
    des.InitializeKey(kSecondFileKey, true);
    for (auto _ : state)
        if (!des.FileEncrypt(Data().path.string(), triple))
            state.SkipWithError("FileEncrypt failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void OpenSslEcb(benchmark::State& state, const EVP_CIPHER* cipher, const unsigned char* key)
{
    const std::string& input = Data().bytes;
    std::vector<unsigned char> output(input.size() + 16);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int written = 0;
        int finalWritten = 0;
        EVP_EncryptInit_ex(context, cipher, nullptr, key, nullptr);
        EVP_CIPHER_CTX_set_padding(context, 0);
        EVP_EncryptUpdate(context, output.data(), &written, reinterpret_cast<const unsigned char*>(input.data()),
                          static_cast<int>(input.size()));
        EVP_EncryptFinal_ex(context, output.data() + written, &finalWritten);
        benchmark::DoNotOptimize(output.data());
    }
    EVP_CIPHER_CTX_free(context);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void BM_FileEncrypt_Single(benchmark::State& state)
{
    FileEncrypt(state, false);
}
void BM_FileEncrypt_Triple(benchmark::State& state)
{
    FileEncrypt(state, true);
}

void BM_OpenSsl_DesEcb(benchmark::State& state)
{
    const std::array<unsigned char, 8> key = {'k', '3', 'y', '-', '0', 'f', '-', '8'};
    const EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "DES-ECB", "provider=legacy");
    if (cipher == nullptr)
        return state.SkipWithError("DES-ECB not available");
    OpenSslEcb(state, cipher, key.data());
}

void BM_OpenSsl_DesEdeEcb(benchmark::State& state)
{
    const std::array<unsigned char, 16> key = {'k', '3', 'y', '-', '0', 'f', '-', '8',
                                               '2', 'n', 'd', '-', 'k', '3', 'y', '!'};
    const EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr);
    if (cipher == nullptr)
        return state.SkipWithError("DES-EDE-ECB not available");
    OpenSslEcb(state, cipher, key.data());
}

void BM_EncryptString(benchmark::State& state)
{
    std::array<char, 256> out{};
    for (auto _ : state) {
        EncryptString(kRequestText, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

/* EncryptString step for step, on the bit-string reference path. */
int PlainEncryptString(const char* in, char* out)
{
    const std::string key = ozu::ddns::built_in_key();
    DES cipher;
    cipher.InitializeKey(key, false);
    cipher.InitializeKey(key, true);
    des_reference::TripleEncryptAnyLength(cipher, in);
    const std::string ciphertext(cipher.GetCiphertextAnyLength());
    if (ciphertext.empty())
        return 1;
    std::memcpy(out, ciphertext.c_str(), ciphertext.size() + 1);
    return 0;
}

void BM_EncryptString_Plain(benchmark::State& state)
{
    std::array<char, 256> out{};
    for (auto _ : state) {
        PlainEncryptString(kRequestText, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void AnyLength(benchmark::State& state, bool plain)
{
    const std::string text = RandomText(kLongMessageChars, 2);
    DES des;
    des.InitializeKey(kFileKey, false);
    for (auto _ : state) {
        if (plain)
            des_reference::EncryptAnyLength(des, text, false);
        else
            des.EncryptAnyLength(text, false);
        benchmark::DoNotOptimize(des.GetCiphertextAnyLength());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLongMessageChars));
}

void BM_EncryptAnyLength(benchmark::State& state)
{
    AnyLength(state, false);
}
void BM_EncryptAnyLength_Plain(benchmark::State& state)
{
    AnyLength(state, true);
}

const std::string& CodecInput()
{
    static const std::string bytes = RandomBytes(kCodecBytes, 3);
    return bytes;
}

const unsigned char* CodecBytes()
{
    return reinterpret_cast<const unsigned char*>(CodecInput().data());
}

void BM_Base64_Encode(benchmark::State& state)
{
    CommonKit::CCodecBase64 codec;
    std::string text;
    for (auto _ : state) {
        text.clear();
        codec.Encode(CodecBytes(), static_cast<int>(kCodecBytes), text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

void BM_OpenSsl_EncodeBlock(benchmark::State& state)
{
    std::vector<unsigned char> text(kCodecBytes / 3 * 4 + 1);
    for (auto _ : state) {
        EVP_EncodeBlock(text.data(), CodecBytes(), static_cast<int>(kCodecBytes));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

void BM_Base64_Decode(benchmark::State& state)
{
    CommonKit::CCodecBase64 codec;
    std::string text;
    codec.Encode(CodecBytes(), static_cast<int>(kCodecBytes), text);
    std::vector<unsigned char> bytes(kCodecBytes + 16);
    for (auto _ : state) {
        codec.Decode(text.data(), static_cast<int>(text.size()), bytes.data());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

void BM_OpenSsl_DecodeBlock(benchmark::State& state)
{
    std::vector<unsigned char> text(kCodecBytes / 3 * 4 + 1);
    EVP_EncodeBlock(text.data(), CodecBytes(), static_cast<int>(kCodecBytes));
    std::vector<unsigned char> bytes(kCodecBytes + 16);
    for (auto _ : state) {
        EVP_DecodeBlock(bytes.data(), text.data(), static_cast<int>(kCodecBytes / 3 * 4));
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

BENCHMARK(BM_FileEncrypt_Single)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenSsl_DesEcb)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FileEncrypt_Triple)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenSsl_DesEdeEcb)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EncryptString)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncryptString_Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncryptAnyLength)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncryptAnyLength_Plain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Base64_Encode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenSsl_EncodeBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Base64_Decode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenSsl_DecodeBlock)->Unit(benchmark::kMicrosecond);

/* Keeps the CPU time per iteration of every run while printing as usual: on a shared machine
 * it counts what the process itself spent, file reads and writes included. */
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                seconds_[run.run_name.function_name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }

    double Seconds(const std::string& name) const
    {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0.0 : found->second;
    }

private:
    std::map<std::string, double> seconds_;
};

struct Comparison {
    const char* what;
    const char* name;
    const char* peer;
    double target;  // the least speed-up over the peer that passes; 0 for none
};

const Comparison kComparisons[] = {
    {"FileEncrypt single DES vs OpenSSL DES-ECB", "BM_FileEncrypt_Single", "BM_OpenSsl_DesEcb", 3.0},
    {"FileEncrypt triple DES vs OpenSSL DES-EDE-ECB", "BM_FileEncrypt_Triple", "BM_OpenSsl_DesEdeEcb", 3.0},
    {"EncryptString (50 characters) vs plain path", "BM_EncryptString", "BM_EncryptString_Plain", 50.0},
    {"EncryptAnyLength (4088 characters) vs plain path", "BM_EncryptAnyLength", "BM_EncryptAnyLength_Plain", 0.0},
    {"Base64 Encode vs EVP_EncodeBlock", "BM_Base64_Encode", "BM_OpenSsl_EncodeBlock", 0.0},
    {"Base64 Decode vs EVP_DecodeBlock", "BM_Base64_Decode", "BM_OpenSsl_DecodeBlock", 0.0},
};

constexpr long kArmLibraryLimit = 64 * 1024;

std::string Duration(double seconds)
{
    char text[32];
    if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    return text;
}

bool Summarise(const RecordingReporter& reporter, const std::string& armLibrary)
{
    bool passed = true;
    std::printf("\nCPU time per operation, and the speed-up over the peer measured in the same run:\n");
    std::printf("%-50s %12s %12s %9s %s\n", "figure", "time", "peer time", "speed-up", "target");
    for (const Comparison& c : kComparisons) {
        const double time = reporter.Seconds(c.name);
        const double peer = reporter.Seconds(c.peer);
        const double ratio = time > 0.0 ? peer / time : 0.0;
        const bool ok = c.target == 0.0 || ratio >= c.target;
        passed = passed && ok && time > 0.0 && peer > 0.0;
        char target[32] = "-";
        if (c.target > 0.0)
            std::snprintf(target, sizeof target, ">= %.0fx %s", c.target, ok ? "ok" : "MISSED");
        std::printf("%-50s %12s %12s %8.2fx %s\n", c.what, Duration(time).c_str(), Duration(peer).c_str(), ratio,
                    target);
    }
    if (!armLibrary.empty()) {
        struct stat info {};
        const bool found = stat(armLibrary.c_str(), &info) == 0;
        const bool ok = found && info.st_size <= kArmLibraryLimit;
        passed = passed && ok;
        std::printf("%-50s %6lld bytes (limit %ld) %s\n", "stripped ARM library",
                    found ? static_cast<long long>(info.st_size) : -1LL, kArmLibraryLimit, ok ? "ok" : "MISSED");
    }
    return passed;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string armLibrary;
    std::vector<char*> arguments;
    const std::string armOption = "--arm-library=";
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], armOption.c_str(), armOption.size()) == 0)
            armLibrary = argv[i] + armOption.size();
        else
            arguments.push_back(argv[i]);
    }
    int count = static_cast<int>(arguments.size());
    if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr || OSSL_PROVIDER_load(nullptr, "default") == nullptr) {
        std::fprintf(stderr, "the OpenSSL legacy provider is not available\n");
        return 2;
    }
    benchmark::Initialize(&count, arguments.data());
    Data();
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool passed = Summarise(reporter, armLibrary);
    benchmark::Shutdown();
    return passed ? 0 : 1;
}
