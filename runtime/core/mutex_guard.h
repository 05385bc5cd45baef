// Recursive pthread mutexes as the runtime uses them, and a scope guard.
#pragma once

#include <pthread.h>

// Initialises mutex as a recursive mutex (the owner may lock it again).
inline void recursive_mutex_init(pthread_mutex_t* mutex) noexcept {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// Holds a mutex for the enclosing scope; a null mutex means no locking.
class MutexGuard {
  public:
    explicit MutexGuard(pthread_mutex_t* mutex) noexcept : mutex_(mutex) {
        if (mutex_ != nullptr) pthread_mutex_lock(mutex_);
    }
    ~MutexGuard() {
        if (mutex_ != nullptr) pthread_mutex_unlock(mutex_);
    }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

  private:
    pthread_mutex_t* mutex_; // held mutex, or null
};
