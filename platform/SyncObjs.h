// A lock and a condition variable for threads that hand each other work many times a second.
// They wait inside the process; the thread library's mutex and condition variable wait through
// the Wine server, which costs more than a small piece of work per wake-up.
#pragma once

#include <windows.h>

#include <mutex>

// Exclusive only; usable with std::lock_guard and std::unique_lock.
class TSlimLock {
public:
    TSlimLock() = default;
    TSlimLock(const TSlimLock&) = delete;
    TSlimLock& operator=(const TSlimLock&) = delete;

    void lock() { AcquireSRWLockExclusive(&FLock); }
    void unlock() { ReleaseSRWLockExclusive(&FLock); }

private:
    friend class TSlimCondition;
    SRWLOCK FLock = SRWLOCK_INIT;
};

class TSlimCondition {
public:
    TSlimCondition() = default;
    TSlimCondition(const TSlimCondition&) = delete;
    TSlimCondition& operator=(const TSlimCondition&) = delete;

    // Waits, with the lock held around every test, until ready() holds.
    template <class TPredicate>
    void Wait(std::unique_lock<TSlimLock>& lock, TPredicate ready)
    {
        while (!ready())
            SleepConditionVariableSRW(&FCondition, &lock.mutex()->FLock, INFINITE, 0);
    }
    void WakeAll() { WakeAllConditionVariable(&FCondition); }

private:
    CONDITION_VARIABLE FCondition = CONDITION_VARIABLE_INIT;
};
