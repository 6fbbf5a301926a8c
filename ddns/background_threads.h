// The update worker and the domain-name thread, which keep the device registered over the
// register channel without the host's help.
#ifndef OZU_DDNS_BACKGROUND_THREADS_H
#define OZU_DDNS_BACKGROUND_THREADS_H

#include <pthread.h>

#include <atomic>

namespace ozu::ddns {

inline constexpr unsigned int kWorkerStepMilliseconds = 1000;
inline constexpr unsigned int kDomainNameRefreshMilliseconds = 60000;
inline constexpr unsigned int kDomainNameRetryMilliseconds = 15000;

// One register-channel exchange (my_update): 0 on success, -1 on failure.
using Reporter = int (*)(int command, char* status);
using Sleeper = void (*)(unsigned int milliseconds);

struct UpdateWorkerContext {
    const std::atomic<int>& running;
    const std::atomic<int>& exit_requested;
    int (*report_interval)();  // seconds between periodic reports, read at every reload
    Reporter report;
    Sleeper sleep;
};

// Announces the device, reports it online every interval while running, and offline at the end.
void run_update_worker(const UpdateWorkerContext& context);

// The worker's flags and handle in the module state, guarded by lock.
struct UpdateWorkerState {
    pthread_mutex_t& lock;
    std::atomic<int>& running;
    std::atomic<int>& exit_requested;
    pthread_t& handle;
};

// True when a worker was created or one is already marked running.
bool start_update_worker(const UpdateWorkerState& state, void* (*worker)(void*));
// Asks the worker to finish and joins it.
void stop_update_worker(const UpdateWorkerState& state);

// One domain-name query; returns the pause before the next one, in milliseconds.
unsigned int query_domain_name(Reporter report);
[[noreturn]] void run_domain_name_thread(Reporter report, Sleeper sleep);
// Starts one detached domain-name thread; the thread-creation result.
int start_domain_name_thread(void* (*thread_function)(void*));

}  // namespace ozu::ddns

#endif
