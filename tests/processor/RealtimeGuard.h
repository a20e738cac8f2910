#pragma once

/** Counts heap allocations, frees and mutex locks made by the calling thread while an
    instance is alive, to prove that a stretch of audio-thread code does none of them.
    The counters live in this test program's replacements of the global operators new and
    delete and of pthread_mutex_lock.
*/
struct RealtimeGuard
{
    RealtimeGuard();
    ~RealtimeGuard();

    long allocations() const;
    long frees() const;
    long locks() const;

    RealtimeGuard (const RealtimeGuard&) = delete;
    RealtimeGuard& operator= (const RealtimeGuard&) = delete;
};
