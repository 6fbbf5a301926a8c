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

#include <algorithm>
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
#include "des/des_reference.h"

namespace ozu::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileBytes = 64u << 20;
constexpr std::size_t kCodecBytes = 48u << 10;
constexpr std::size_t kLongMessageChars = 4088;
constexpr char kRequestText[] = "id=SN0123456789AB&mac=00:11:22:33:44:55&port=18080";
static_assert(sizeof kRequestText - 1 == 50, "the figure is for a 50-character query");
constexpr char kFileKey[] = "k3y-0f-8";
constexpr char kSecondFileKey[] = "2nd-k3y!";

std::string random_bytes(std::size_t count, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

std::string random_text(std::size_t count, unsigned seed)
{
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789=&.:";
    std::mt19937_64 random(seed);
    std::string text(count, 'x');
    for (char& c : text) {
        c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    }
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
        bytes = random_bytes(kFileBytes, 1);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    ~FileData()
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }
};

FileData& file_data()
{
    static FileData data;
    return data;
}

void file_encrypt(benchmark::State& state, bool triple)
{
    DES des;
    des.InitializeKey(kFileKey, false);
    des.InitializeKey(kSecondFileKey, true);
    for (auto _ : state) {
        if (!des.FileEncrypt(file_data().path.string(), triple)) {
            state.SkipWithError("FileEncrypt failed");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void openssl_ecb(benchmark::State& state, const EVP_CIPHER* cipher, const unsigned char* key)
{
    const std::string& input = file_data().bytes;
    std::vector<unsigned char> output(input.size() + 16);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int written = 0;
        int final_written = 0;
        EVP_EncryptInit_ex(context, cipher, nullptr, key, nullptr);
        EVP_CIPHER_CTX_set_padding(context, 0);
        EVP_EncryptUpdate(context, output.data(), &written, reinterpret_cast<const unsigned char*>(input.data()),
                          static_cast<int>(input.size()));
        EVP_EncryptFinal_ex(context, output.data() + written, &final_written);
        benchmark::DoNotOptimize(output.data());
    }
    EVP_CIPHER_CTX_free(context);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void bm_file_encrypt_single(benchmark::State& state)
{
    file_encrypt(state, false);
}
void bm_file_encrypt_triple(benchmark::State& state)
{
    file_encrypt(state, true);
}

void bm_openssl_des_ecb(benchmark::State& state)
{
    const std::array<unsigned char, 8> key = {'k', '3', 'y', '-', '0', 'f', '-', '8'};
    const EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "DES-ECB", "provider=legacy");
    if (cipher == nullptr) {
        return state.SkipWithError("DES-ECB not available");
    }
    openssl_ecb(state, cipher, key.data());
}

void bm_openssl_des_ede_ecb(benchmark::State& state)
{
    const std::array<unsigned char, 16> key = {'k', '3', 'y', '-', '0', 'f', '-', '8',
                                               '2', 'n', 'd', '-', 'k', '3', 'y', '!'};
    const EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr);
    if (cipher == nullptr) {
        return state.SkipWithError("DES-EDE-ECB not available");
    }
    openssl_ecb(state, cipher, key.data());
}

void bm_encrypt_string(benchmark::State& state)
{
    std::array<char, 256> out{};
    for (auto _ : state) {
        EncryptString(kRequestText, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

/* What OpenSSL does for the same work: a new context and a key setup for every query, then one
 * update over the query as EncryptString pads it ('$' marks up to a whole block). */
void bm_openssl_encrypt_string(benchmark::State& state)
{
    const EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr);
    if (cipher == nullptr) {
        return state.SkipWithError("DES-EDE-ECB not available");
    }
    const std::string key = ddns::built_in_key().substr(0, 8);
    const std::string both_keys = key + key;
    std::string padded = kRequestText;
    padded.append((8 - padded.size() % 8) % 8, '$');
    std::array<unsigned char, 64> out{};
    for (auto _ : state) {
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        int written = 0;
        EVP_EncryptInit_ex(context, cipher, nullptr, reinterpret_cast<const unsigned char*>(both_keys.data()), nullptr);
        EVP_CIPHER_CTX_set_padding(context, 0);
        EVP_EncryptUpdate(context, out.data(), &written, reinterpret_cast<const unsigned char*>(padded.data()),
                          static_cast<int>(padded.size()));
        EVP_CIPHER_CTX_free(context);
        benchmark::DoNotOptimize(out.data());
    }
}

/* EncryptString step for step, on the bit-string reference path. */
int plain_encrypt_string(const char* in, char* out)
{
    const std::string key = ddns::built_in_key();
    DES cipher;
    cipher.InitializeKey(key, false);
    cipher.InitializeKey(key, true);
    test::reference::triple_encrypt_any_length(cipher, in);
    const std::string ciphertext(cipher.GetCiphertextAnyLength());
    if (ciphertext.empty()) {
        return 1;
    }
    std::memcpy(out, ciphertext.c_str(), ciphertext.size() + 1);
    return 0;
}

void bm_encrypt_string_plain(benchmark::State& state)
{
    std::array<char, 256> out{};
    for (auto _ : state) {
        plain_encrypt_string(kRequestText, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

void any_length(benchmark::State& state, bool plain)
{
    const std::string text = random_text(kLongMessageChars, 2);
    DES des;
    des.InitializeKey(kFileKey, false);
    for (auto _ : state) {
        if (plain) {
            test::reference::encrypt_any_length(des, text, false);
        } else {
            des.EncryptAnyLength(text, false);
        }
        benchmark::DoNotOptimize(des.GetCiphertextAnyLength());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLongMessageChars));
}

void bm_encrypt_any_length(benchmark::State& state)
{
    any_length(state, false);
}
void bm_encrypt_any_length_plain(benchmark::State& state)
{
    any_length(state, true);
}

const std::string& codec_input()
{
    static const std::string kBytes = random_bytes(kCodecBytes, 3);
    return kBytes;
}

const unsigned char* codec_bytes()
{
    return reinterpret_cast<const unsigned char*>(codec_input().data());
}

void bm_base64_encode(benchmark::State& state)
{
    CommonKit::CCodecBase64 codec;
    std::string text;
    for (auto _ : state) {
        text.clear();
        codec.Encode(codec_bytes(), static_cast<int>(kCodecBytes), text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

void bm_openssl_encode_block(benchmark::State& state)
{
    std::vector<unsigned char> text(kCodecBytes / 3 * 4 + 1);
    for (auto _ : state) {
        EVP_EncodeBlock(text.data(), codec_bytes(), static_cast<int>(kCodecBytes));
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

void bm_base64_decode(benchmark::State& state)
{
    CommonKit::CCodecBase64 codec;
    std::string text;
    codec.Encode(codec_bytes(), static_cast<int>(kCodecBytes), text);
    std::vector<unsigned char> bytes(kCodecBytes + 16);
    for (auto _ : state) {
        codec.Decode(text.data(), static_cast<int>(text.size()), bytes.data());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

void bm_openssl_decode_block(benchmark::State& state)
{
    std::vector<unsigned char> text(kCodecBytes / 3 * 4 + 1);
    EVP_EncodeBlock(text.data(), codec_bytes(), static_cast<int>(kCodecBytes));
    std::vector<unsigned char> bytes(kCodecBytes + 16);
    for (auto _ : state) {
        EVP_DecodeBlock(bytes.data(), text.data(), static_cast<int>(kCodecBytes / 3 * 4));
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCodecBytes));
}

BENCHMARK(bm_file_encrypt_single)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(bm_openssl_des_ecb)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(bm_file_encrypt_triple)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(bm_openssl_des_ede_ecb)->Unit(benchmark::kMillisecond)->MinTime(2.0);
/* The short figures run in repetitions interleaved with their peers', and each counts its fastest: on
 * this shared machine a neighbour slows whole stretches of a run, and it only ever adds time. */
constexpr int kRepetitions = 9;

void short_figure(benchmark::internal::Benchmark* figure)
{
    figure->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions)->MinTime(0.05);
}

BENCHMARK(bm_encrypt_string)->Apply(short_figure);
BENCHMARK(bm_openssl_encrypt_string)->Apply(short_figure);
BENCHMARK(bm_encrypt_string_plain)->Apply(short_figure);
BENCHMARK(bm_encrypt_any_length)->Apply(short_figure);
BENCHMARK(bm_encrypt_any_length_plain)->Apply(short_figure);
BENCHMARK(bm_base64_encode)->Apply(short_figure);
BENCHMARK(bm_openssl_encode_block)->Apply(short_figure);
BENCHMARK(bm_base64_decode)->Apply(short_figure);
BENCHMARK(bm_openssl_decode_block)->Apply(short_figure);

/* Keeps the least CPU time per iteration of each figure's runs while printing as usual: on a shared
 * machine it counts what the process itself spent, file reads and writes included. */
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
                const auto [kept, added] = seconds_.emplace(run.run_name.function_name, seconds);
                kept->second = added ? seconds : std::min(kept->second, seconds);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double seconds(const std::string& name) const
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
    {"FileEncrypt single DES vs OpenSSL DES-ECB", "bm_file_encrypt_single", "bm_openssl_des_ecb", 3.0},
    {"FileEncrypt triple DES vs OpenSSL DES-EDE-ECB", "bm_file_encrypt_triple", "bm_openssl_des_ede_ecb", 3.0},
    {"EncryptString (50 characters) vs OpenSSL DES-EDE-ECB", "bm_encrypt_string", "bm_openssl_encrypt_string", 1.0},
    {"EncryptString (50 characters) vs plain path", "bm_encrypt_string", "bm_encrypt_string_plain", 0.0},
    {"EncryptAnyLength (4088 characters) vs plain path", "bm_encrypt_any_length", "bm_encrypt_any_length_plain", 0.0},
    {"Base64 Encode vs EVP_EncodeBlock", "bm_base64_encode", "bm_openssl_encode_block", 1.5},
    {"Base64 Decode vs EVP_DecodeBlock", "bm_base64_decode", "bm_openssl_decode_block", 1.5},
};

constexpr long kArmLibraryLimit = 64 * 1024;

std::string duration_text(double seconds)
{
    char text[32];
    if (seconds >= 1e-3) {
        std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    }
    return text;
}

bool summarise(const RecordingReporter& reporter, const std::string& arm_library)
{
    bool passed = true;
    std::printf("\nCPU time per operation, and the speed-up over the peer measured in the same run:\n");
    std::printf("%-54s %12s %12s %9s %s\n", "figure", "time", "peer time", "speed-up", "target");
    for (const Comparison& c : kComparisons) {
        const double time = reporter.seconds(c.name);
        const double peer = reporter.seconds(c.peer);
        const double ratio = time > 0.0 ? peer / time : 0.0;
        const bool ok = c.target == 0.0 || ratio >= c.target;
        passed = passed && ok && time > 0.0 && peer > 0.0;
        char target[32] = "-";
        if (c.target > 0.0) {
            std::snprintf(target, sizeof target, ">= %gx %s", c.target, ok ? "ok" : "MISSED");
        }
        std::printf("%-54s %12s %12s %8.2fx %s\n", c.what, duration_text(time).c_str(), duration_text(peer).c_str(),
                    ratio, target);
    }
    if (!arm_library.empty()) {
        struct stat info {};
        const bool found = stat(arm_library.c_str(), &info) == 0;
        const bool ok = found && info.st_size <= kArmLibraryLimit;
        passed = passed && ok;
        std::printf("%-54s %6lld bytes (limit %ld) %s\n", "stripped ARM library",
                    found ? static_cast<long long>(info.st_size) : -1LL, kArmLibraryLimit, ok ? "ok" : "MISSED");
    }
    return passed;
}

}  // namespace
}  // namespace ozu::bench

int main(int argc, char** argv)
{
    std::string arm_library;
    std::string interleaving = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments = {argv[0], interleaving.data()};
    const std::string arm_option = "--arm-library=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], arm_option.c_str(), arm_option.size()) == 0) {
            arm_library = argv[i] + arm_option.size();
        } else {
            arguments.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(arguments.size());
    if (OSSL_PROVIDER_load(nullptr, "legacy") == nullptr || OSSL_PROVIDER_load(nullptr, "default") == nullptr) {
        std::fprintf(stderr, "the OpenSSL legacy provider is not available\n");
        return 2;
    }
    benchmark::Initialize(&count, arguments.data());
    ozu::bench::file_data();
    ozu::bench::RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool passed = ozu::bench::summarise(reporter, arm_library);
    benchmark::Shutdown();
    return passed ? 0 : 1;
}
