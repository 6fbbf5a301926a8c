// Scoped ownership of the C resources the client works with: a held mutex and heap texts.
#ifndef OZU_DDNS_SCOPED_RESOURCES_H
#define OZU_DDNS_SCOPED_RESOURCES_H

#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace ozu::ddns {

class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t& mutex) : mutex_(mutex) { pthread_mutex_lock(&mutex_); }
    ~MutexLock() { pthread_mutex_unlock(&mutex_); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    pthread_mutex_t& mutex_;
};

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
using HeapText = std::unique_ptr<char, FreeDeleter>;

// A strdup copy, or null when there is no text or the copy fails.
inline HeapText copy_text(const char* text)
{
    return HeapText(text != nullptr ? strdup(text) : nullptr);
}

// For the texts the module state keeps as plain char*, which HeapText cannot hold.
inline void free_text(char*& text)
{
    std::free(text);
    text = nullptr;
}

}  // namespace ozu::ddns

#endif
