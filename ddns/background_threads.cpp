#include "ddns/background_threads.h"

#include <sched.h>
#include <sys/select.h>
#include <unistd.h>

#include <cstdio>

#include "ddns/ozu_dnsupdate_module.h"
#include "ddns/scoped_resources.h"

void sleep_ms(unsigned int nMilliseconds)
{
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(nMilliseconds / 1000);
    timeout.tv_usec = static_cast<suseconds_t>((nMilliseconds % 1000) * 1000);
    select(0, nullptr, nullptr, nullptr, &timeout);
}

namespace ozu::ddns {
namespace {

constexpr unsigned int kWorkerStepMilliseconds = 1000;
constexpr unsigned int kDomainNameRefreshMilliseconds = 60000;
constexpr unsigned int kDomainNameRetryMilliseconds = 15000;

bool claim_worker_slot(const UpdateWorkerState& state)
{
    const MutexLock guard(state.lock);
    if (state.running != 0) {
        return false;
    }
    state.running = 1;
    state.exit_requested = 0;
    return true;
}

void set_flag(pthread_mutex_t& lock, std::atomic<int>& flag, int value)
{
    const MutexLock guard(lock);
    flag = value;
}

// The pause before the next query.
unsigned int query_domain_name(Reporter report)
{
    char online[] = "online";
    return report(DDNS_CMD_GET_DOMAIN, online) == 0 ? kDomainNameRefreshMilliseconds : kDomainNameRetryMilliseconds;
}

}  // namespace

void run_update_worker(const UpdateWorkerContext& context)
{
    char online[] = "online";
    char offline[] = "offline";
    context.report(DDNS_CMD_START, online);
    if (context.exit_requested == 0) {
        int countdown = 0;
        do {
            if (countdown <= 0) {
                if (context.running != 0) {
                    context.report(DDNS_CMD_UPDATE, online);
                }
                countdown = context.report_interval();
            }
            --countdown;
            context.sleep(kWorkerStepMilliseconds);
        } while (context.exit_requested == 0);
    }
    context.report(DDNS_CMD_UPDATE, offline);
}

bool start_update_worker(const UpdateWorkerState& state, void* (*worker)(void*))
{
    if (!claim_worker_slot(state)) {
        return true;
    }
    // The handle is stored only once the thread exists, so a later stop never joins garbage.
    pthread_t thread{};
    if (pthread_create(&thread, nullptr, worker, nullptr) == 0) {
        // A worker replaced while paused is never joined (stop joins the newest only); detached,
        // it releases its resources when it ends.
        if (state.handle != 0) {
            pthread_detach(state.handle);
        }
        state.handle = thread;
        return true;
    }
    set_flag(state.lock, state.running, 0);
    return false;
}

void stop_update_worker(const UpdateWorkerState& state)
{
    set_flag(state.lock, state.exit_requested, 1);
    if (state.handle != 0) {
        pthread_join(state.handle, nullptr);
        state.handle = 0;
    }
    set_flag(state.lock, state.running, 0);
}

void run_domain_name_thread(Reporter report, Sleeper sleep)
{
    std::printf("this thread for update domain name, pid = [%d]\n", static_cast<int>(getpid()));
    for (;;) {
        sleep(query_domain_name(report));
    }
}

int start_domain_name_thread(void* (*thread_function)(void*))
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setschedpolicy(&attributes, SCHED_OTHER);
    sched_param parameters{};
    pthread_attr_getschedparam(&attributes, &parameters);
    parameters.sched_priority = 0;
    pthread_attr_setschedparam(&attributes, &parameters);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread{};
    const int result = pthread_create(&thread, &attributes, thread_function, nullptr);
    pthread_attr_destroy(&attributes);
    return result;
}

}  // namespace ozu::ddns
