// CKivAtlModule: the library's module object. It counts the live objects that hold a module lock
// (image streams, clip streams, devices, factories and identifier objects hold one for as long as
// they exist), so that the library can tell whether anything it made is still in use. It
// registers nothing with the system. CKivModuleLock is the member that takes and gives back one
// lock. Thread-safe: the count is atomic.
#pragma once

#include "KivPlatform/Types.h"

#include <atomic>

namespace Kiv {

class CKivAtlModule {
public:
    // The library's single module object, made when the library is loaded.
    static CKivAtlModule& Instance();

    LONG Lock() { return m_lockCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    LONG Unlock() { return m_lockCount.fetch_sub(1, std::memory_order_acq_rel) - 1; }
    LONG GetLockCount() const { return m_lockCount.load(std::memory_order_acquire); }

private:
    std::atomic<LONG> m_lockCount{0};
};

// Holds one module lock from construction to destruction; a copy holds one of its own.
class CKivModuleLock {
public:
    CKivModuleLock() { CKivAtlModule::Instance().Lock(); }
    CKivModuleLock(const CKivModuleLock&) : CKivModuleLock() {}
    CKivModuleLock& operator=(const CKivModuleLock&) = default;
    ~CKivModuleLock() { CKivAtlModule::Instance().Unlock(); }
};

} // namespace Kiv
