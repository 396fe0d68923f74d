// Signals into dispatcher events through a pipe. One channel at a time: the signal handler can
// take no context, so the open channel's pipe is a process-wide value.
#include "KivPlatform/ServiceSignals.h"

#include "KivPlatform/Status.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace Kiv::Platform {

namespace {

constexpr DWORD ErrorServiceAlreadyRunning = 1056;
// The byte a service thread writes; signal numbers are never 0.
constexpr unsigned char WakeByte = 0;
constexpr std::array<int, 3> ControlSignals = {SIGTERM, SIGINT, SIGHUP};

// The write end of the open channel's pipe, -1 when none is open.
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
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        const DWORD error = Win32ErrorFromErrno(errno);
        Close();
        return error;
    }
    m_readFd = fds[0];
    m_writeFd = fds[1];
    fcntl(m_writeFd, F_SETFL, O_NONBLOCK);
    g_signalWriteFd.store(m_writeFd);

    struct sigaction action {};
    action.sa_handler = OnControlSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
        sigaction(ControlSignals[i], &action, &g_previousActions[i]);
    }
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
    if (m_writeFd >= 0) {
        for (std::size_t i = 0; i < ControlSignals.size(); ++i) {
            sigaction(ControlSignals[i], &g_previousActions[i], nullptr);
        }
        g_signalWriteFd.store(-1);
        close(m_writeFd);
        close(m_readFd);
        m_writeFd = -1;
        m_readFd = -1;
    }
    m_owner = false;
    g_channelOpen.store(false);
}

void ServiceSignalChannel::Wake()
{
    const unsigned char byte = WakeByte;
    ssize_t written;
    do {
        written = write(m_writeFd, &byte, 1);
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
        const ssize_t count = read(m_readFd, m_pending, sizeof m_pending);
        m_pendingNext = 0;
        m_pendingCount = count > 0 ? static_cast<std::size_t>(count) : 0;
        if (count == 0 || (count < 0 && errno != EINTR)) {
            // The pipe cannot fail while its write end is ours; should it, the loop ends.
            return ServiceEvent::Wake;
        }
    }
}

} // namespace Kiv::Platform
