// The update worker and the domain-name thread, which keep the device registered over the
// register channel without the host's help.
#ifndef OZU_DDNS_BACKGROUND_THREADS_H
#define OZU_DDNS_BACKGROUND_THREADS_H

#include <pthread.h>

#include <atomic>

namespace ozu::ddns {

// my_update's signature: 0 or -1.
using Reporter = int (*)(int command, char* status);
using Sleeper = void (*)(unsigned int milliseconds);

struct UpdateWorkerContext {
    const std::atomic<int>& running;
    const std::atomic<int>& exit_requested;
    int (*report_interval)();  // seconds between periodic reports, read at every reload
    Reporter report;
    Sleeper sleep;
};

// The worker's whole life, from its first report to its last. It counts the interval down in
// one-second sleeps, so that a stop is seen within a second even in a five-minute interval.
void run_update_worker(const UpdateWorkerContext& context);

// The worker's flags and handle in the module state, guarded by lock.
struct UpdateWorkerState {
    pthread_mutex_t& lock;
    std::atomic<int>& running;
    std::atomic<int>& exit_requested;
    pthread_t& handle;
};

// The running flag doubles as the mark that a worker exists, so a pause(1) before any start makes
// start a no-op until stop clears the flag. False only when no thread could be created.
bool start_update_worker(const UpdateWorkerState& state, void* (*worker)(void*));
// Asks the worker to finish and joins it.
void stop_update_worker(const UpdateWorkerState& state);

// Queries once a minute, and sooner again after a failure; it never returns.
[[noreturn]] void run_domain_name_thread(Reporter report, Sleeper sleep);
// Detached, since nothing ever joins it; pthread_create's result.
int start_domain_name_thread(void* (*thread_function)(void*));

}  // namespace ozu::ddns

#endif
