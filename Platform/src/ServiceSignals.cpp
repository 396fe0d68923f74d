// Signals into dispatcher events through a pipe. One channel at a time: the signal handler can
// take no context, so the pipe is a process-wide value.
#include "KivPlatform/ServiceSignals.h"

#include "KivPlatform/Status.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace Kiv::Platform {

namespace {

constexpr DWORD ErrorServiceAlreadyRunning = 1056;
// The byte a service thread writes; signal numbers are never 0.
constexpr unsigned char WakeByte = 0;
constexpr std::array<int, 3> ControlSignals = {SIGTERM, SIGINT, SIGHUP};

// The process's signal pipe, made by the first Open.
int g_pipeReadFd = -1;
int g_pipeWriteFd = -1;
// The write end while a channel is open, -1 otherwise: the handler writes only then.
std::atomic<int> g_signalWriteFd{-1};
std::atomic<bool> g_channelOpen{false};
std::array<struct sigaction, ControlSignals.size()> g_previousActions;

extern "C" void OnControlSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = g_signalWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signal);
        // Non-blocking: when the pipe is full the waiter has plenty to read already.
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

ServiceSignalChannel::~ServiceSignalChannel()
{
    Close();
}

DWORD ServiceSignalChannel::Open()
{
    bool expected = false;
    if (!g_channelOpen.compare_exchange_strong(expected, true)) {
        return ErrorServiceAlreadyRunning;
    }
    m_owner = true;
    // One pipe for the life of the process: a handler that has just read the write end's number
    // may still write after the channel closes, and must never hit a reused descriptor.
    static const DWORD pipeError = [] {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return Win32ErrorFromErrno(errno);
        }
        g_pipeReadFd = fds[0];
        g_pipeWriteFd = fds[1];
        return DWORD{0};
    }();
    if (pipeError != 0) {
        Close();
        return pipeError;
    }
    // Bytes of an earlier channel (signals that came after its last Wait) are not for this one.
    unsigned char stale[64];
    while (read(g_pipeReadFd, stale, sizeof stale) > 0) {
    }
    m_pendingCount = 0;
    m_pendingNext = 0;
    g_signalWriteFd.store(g_pipeWriteFd);

    struct sigaction action {};
    action.sa_handler = OnControlSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
        sigaction(ControlSignals[i], &action, &g_previousActions[i]);
    }
    m_handlersInstalled = true;
    // A thread of the program may have blocked them; the dispatcher's thread takes them.
    sigset_t set;
    sigemptyset(&set);
    for (int signal : ControlSignals) {
        sigaddset(&set, signal);
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return 0;
}

void ServiceSignalChannel::Close()
{
    if (!m_owner) {
        return;
    }
    if (m_handlersInstalled) {
        for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
            sigaction(ControlSignals[i], &g_previousActions[i], nullptr);
        }
        g_signalWriteFd.store(-1);
        m_handlersInstalled = false;
    }
    m_owner = false;
    g_channelOpen.store(false);
}

void ServiceSignalChannel::Wake()
{
    const unsigned char byte = WakeByte;
    ssize_t written;
    do {
        written = write(g_pipeWriteFd, &byte, 1);
    } while (written < 0 && errno == EINTR);
}

ServiceEvent ServiceSignalChannel::Wait()
{
    for (;;) {
        while (m_pendingNext < m_pendingCount) {
            switch (m_pending[m_pendingNext++]) {
            case WakeByte:
                return ServiceEvent::Wake;
            case SIGHUP:
                return ServiceEvent::ParamChange;
            case SIGTERM:
            case SIGINT:
                return ServiceEvent::Stop;
            default:
                break;
            }
        }
        pollfd readable{g_pipeReadFd, POLLIN, 0};
        if (poll(&readable, 1, -1) < 0 && errno != EINTR) {
            // The pipe cannot fail while its write end is open; should it, the caller looks again.
            return ServiceEvent::Wake;
        }
        const ssize_t count = read(g_pipeReadFd, m_pending, sizeof m_pending);
        m_pendingNext = 0;
        m_pendingCount = count > 0 ? static_cast<std::size_t>(count) : 0;
    }
}

} // namespace Kiv::Platform
