// ozu-soak: keeps the update worker (5-second interval) and the domain-name thread running against
// a DDNS server, samples the open descriptors and the resident memory once a minute, stops the
// worker and judges the samples. Exit status 0 when descriptors stayed constant and resident memory
// flat, 1 otherwise, 2 on a usage error. Under valgrind, whose own heap and freed-block quarantine
// grow the resident size, `--judge-rss no` reports resident memory without judging it.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ddns/ozu_dnsupdate.h"

namespace {

constexpr int kReportInterval = 5;
constexpr int kSamplePeriodSeconds = 60;
// Resident memory may grow by this much between the first sample (taken once the threads have
// run for a minute) and the last; more counts as a leak.
constexpr long kAllowedRssGrowthKiB = 256;
// An exchange briefly holds one more descriptor; the least of a few readings is the steady count.
constexpr int kDescriptorReadings = 5;
constexpr auto kDescriptorReadingGap = std::chrono::milliseconds(100);

struct Options {
    const char* server = "127.0.0.96";
    int seconds = 600;
    bool judge_rss = true;
};

struct Sample {
    int elapsed_seconds;
    int descriptors;
    long rss_kib;
};

int count_open_descriptors_once()
{
    DIR* directory = opendir("/proc/self/fd");
    if (directory == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(directory);
    return count - 1;  // the directory's own descriptor
}

int count_open_descriptors()
{
    int least = count_open_descriptors_once();
    for (int reading = 1; reading < kDescriptorReadings; ++reading) {
        std::this_thread::sleep_for(kDescriptorReadingGap);
        least = std::min(least, count_open_descriptors_once());
    }
    return least;
}

long resident_kib()
{
    std::ifstream statm("/proc/self/statm");
    long size_pages = 0;
    long resident_pages = 0;
    statm >> size_pages >> resident_pages;
    return resident_pages * (sysconf(_SC_PAGESIZE) / 1024);
}

Sample take_sample(int elapsed_seconds)
{
    const Sample sample{elapsed_seconds, count_open_descriptors(), resident_kib()};
    std::printf("soak: t=%ds fds=%d rss=%ldKiB\n", sample.elapsed_seconds, sample.descriptors, sample.rss_kib);
    std::fflush(stdout);
    return sample;
}

bool parse_options(int argc, char** argv, Options& options)
{
    for (int index = 1; index + 1 < argc; index += 2) {
        if (std::strcmp(argv[index], "--server") == 0) {
            options.server = argv[index + 1];
        } else if (std::strcmp(argv[index], "--seconds") == 0) {
            options.seconds = std::atoi(argv[index + 1]);
        } else if (std::strcmp(argv[index], "--judge-rss") == 0) {
            options.judge_rss = std::strcmp(argv[index + 1], "no") != 0;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.seconds >= kSamplePeriodSeconds;
}

// The registration entry point sets the serial, the plain one then the 5-second interval that the
// registration interface's 300-second minimum would not allow.
void configure(const char* server)
{
    ozu_dnsupdate_init_v2(0x1234, server, 8080, "SOAK0001", "00:11:22:33:44:96", "192.168.1.96", 80, 300);
    ozu_dnsupdate_init(server, 8080, "00:11:22:33:44:96", "192.168.1.96", kReportInterval);
}

std::vector<Sample> run_threads_and_sample(int seconds)
{
    std::vector<Sample> samples;
    ozu_dnsupdate_start();
    ozu_dnsupdate_init_rdn();
    for (int elapsed = kSamplePeriodSeconds; elapsed <= seconds; elapsed += kSamplePeriodSeconds) {
        std::this_thread::sleep_for(std::chrono::seconds(kSamplePeriodSeconds));
        samples.push_back(take_sample(elapsed));
    }
    ozu_dnsupdate_stop();
    return samples;
}

const char* rss_verdict(bool judged, bool flat)
{
    if (!judged) {
        return "not judged";
    }
    return flat ? "flat" : "GREW";
}

bool judge(const std::vector<Sample>& samples, bool judge_rss)
{
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const bool descriptors_constant = std::all_of(
        samples.begin(), samples.end(), [&](const Sample& sample) { return sample.descriptors == first.descriptors; });
    const long rss_growth_kib = last.rss_kib - first.rss_kib;
    const bool rss_flat = !judge_rss || rss_growth_kib <= kAllowedRssGrowthKiB;
    char name[128] = "";
    const bool named = ozu_dnsupdate_get_domainname(name) == 0;
    std::printf(
        "soak: summary: %d samples, fds %d..%d (%s), rss first %ldKiB last %ldKiB growth %ldKiB "
        "(limit %ldKiB, %s), domain name %s\n",
        static_cast<int>(samples.size()), first.descriptors, last.descriptors,
        descriptors_constant ? "constant" : "CHANGED", first.rss_kib, last.rss_kib, rss_growth_kib,
        kAllowedRssGrowthKiB, rss_verdict(judge_rss, rss_flat), named ? name : "(none)");
    return descriptors_constant && rss_flat;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        std::fprintf(stderr, "usage: ozu-soak [--server ADDRESS] [--seconds N (at least 60)] [--judge-rss yes|no]\n");
        return 2;
    }
    configure(options.server);
    const std::vector<Sample> samples = run_threads_and_sample(options.seconds);
    return judge(samples, options.judge_rss) ? 0 : 1;
}
