#include "RealtimeGuard.h"

// The thread checker brings its own operators new and delete and must see every lock through
// its own interceptor: its build counts allocations and frees through the checker's allocator
// hooks and does not count locks. Every other build replaces the operators and the lock.
#if defined (__has_feature)
 #if __has_feature (thread_sanitizer)
  #define TIREL_THREAD_CHECKER 1
  #include <sanitizer/allocator_interface.h>
 #endif
#endif

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

namespace
{
// Plain thread-locals: the counters themselves must not allocate or lock.
thread_local bool watching = false;
thread_local long allocationCount = 0, freeCount = 0, lockCount = 0;

#ifndef TIREL_THREAD_CHECKER
void* allocate (std::size_t size)
{
    if (watching)
        ++allocationCount;

    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;

    throw std::bad_alloc();
}

void* allocateAligned (std::size_t size, std::align_val_t alignment)
{
    if (watching)
        ++allocationCount;

    void* p = nullptr;
    if (posix_memalign (&p, static_cast<std::size_t> (alignment), size == 0 ? 1 : size) == 0)
        return p;

    throw std::bad_alloc();
}

void release (void* p)
{
    if (p != nullptr && watching)
        ++freeCount;

    std::free (p);
}
#endif
} // namespace

RealtimeGuard::RealtimeGuard()
{
    allocationCount = freeCount = lockCount = 0;
    watching = true;
}

RealtimeGuard::~RealtimeGuard() { watching = false; }

long RealtimeGuard::allocations() const { return allocationCount; }
long RealtimeGuard::frees() const { return freeCount; }
long RealtimeGuard::locks() const { return lockCount; }

#ifdef TIREL_THREAD_CHECKER
namespace
{
void onAllocate (const volatile void*, std::size_t)
{
    if (watching)
        ++allocationCount;
}

void onFree (const volatile void* p)
{
    if (p != nullptr && watching)
        ++freeCount;
}

[[maybe_unused]] const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks (onAllocate, onFree);
} // namespace
#else
void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new (std::size_t size, std::align_val_t alignment) { return allocateAligned (size, alignment); }
void* operator new[] (std::size_t size, std::align_val_t alignment) { return allocateAligned (size, alignment); }

void operator delete (void* p) noexcept { release (p); }
void operator delete[] (void* p) noexcept { release (p); }
void operator delete (void* p, std::size_t) noexcept { release (p); }
void operator delete[] (void* p, std::size_t) noexcept { release (p); }
void operator delete (void* p, std::align_val_t) noexcept { release (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { release (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { release (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { release (p); }
#endif

#ifndef TIREL_THREAD_CHECKER
extern "C" int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    // Looked up on first use without a guarded static, whose guard could itself lock. Two
    // threads racing here store the same value.
    using Lock = int (*) (pthread_mutex_t*);
    static Lock realLock = nullptr;
    if (realLock == nullptr)
        realLock = reinterpret_cast<Lock> (dlsym (RTLD_NEXT, "pthread_mutex_lock"));

    if (watching)
        ++lockCount;

    return realLock (mutex);
}
#endif
