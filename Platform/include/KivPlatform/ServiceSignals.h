// The controls a service process receives as signals, and the wake-ups its dispatcher gets from
// the service threads, delivered to one waiting thread through a pipe (the handler only writes a
// byte, which is safe in a signal handler and reaches the waiter whichever thread took the signal).
//
// Thread-safety: one channel may be open in the process at a time. Wake may be called from any
// thread; Wait belongs to the thread that opened the channel.
#pragma once

#include "KivPlatform/Types.h"

#include <cstddef>

namespace Kiv::Platform {

enum class ServiceEvent {
    Stop,        // SIGTERM or SIGINT
    ParamChange, // SIGHUP
    Wake,        // a service thread has ended
};

class ServiceSignalChannel {
public:
    ServiceSignalChannel() = default;
    ServiceSignalChannel(const ServiceSignalChannel&) = delete;
    ServiceSignalChannel& operator=(const ServiceSignalChannel&) = delete;
    // Puts back the signal dispositions that were there before Open.
    ~ServiceSignalChannel();

    // Takes over SIGTERM, SIGINT and SIGHUP. 0, ERROR_SERVICE_ALREADY_RUNNING (1056) while another
    // channel is open, or the platform error of a failing call.
    DWORD Open();
    // Makes Wait return ServiceEvent::Wake.
    void Wake();
    // Blocks until the next event.
    ServiceEvent Wait();

private:
    void Close();

    bool m_owner = false;
    bool m_handlersInstalled = false;
    // Bytes read but not yet returned.
    unsigned char m_pending[64];
    std::size_t m_pendingCount = 0;
    std::size_t m_pendingNext = 0;
};

} // namespace Kiv::Platform
