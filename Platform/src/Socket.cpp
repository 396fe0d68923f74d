// The socket calls over the system's Berkeley sockets. Thread-safe; the last error is per thread.
#include "KivPlatform/Socket.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <climits>
#include <cerrno>
#include <cstring>

namespace {

namespace Win = Kiv::Platform;

// The Windows values that are translated, named here because the system headers below turn
// most of these names into macros of their own.
constexpr int WinSolSocket = Win::SOL_SOCKET;
constexpr int WinAfInet = Win::AF_INET;
constexpr int WinSockStream = Win::SOCK_STREAM;
constexpr int WinSockDgram = Win::SOCK_DGRAM;
constexpr int WinMsgOob = Win::MSG_OOB;
constexpr int WinMsgPeek = Win::MSG_PEEK;
constexpr int WinMsgDontRoute = Win::MSG_DONTROUTE;
constexpr int WinMsgWaitAll = Win::MSG_WAITALL;
constexpr LONG WinFionbio = Win::FIONBIO;
constexpr LONG WinFionread = Win::FIONREAD;
constexpr SOCKET WinInvalidSocket = Win::INVALID_SOCKET;
constexpr int WinSocketError = Win::SOCKET_ERROR;

// How an option's value is passed: a 32-bit int, or 32-bit milliseconds that the system takes as
// a timeval.
enum class OptionKind { Int, Milliseconds };

// The options this layer knows, by a name of their own that the system's value is looked up by.
enum class Option { Debug, ReuseAddr, KeepAlive, DontRoute, Broadcast, OobInline, SndBuf, RcvBuf, SndTimeo, RcvTimeo, Error, Type };

struct WinOption {
    int win;
    Option option;
    OptionKind kind;
};

constexpr WinOption WinOptions[] = {
    {Win::SO_DEBUG, Option::Debug, OptionKind::Int},
    {Win::SO_REUSEADDR, Option::ReuseAddr, OptionKind::Int},
    {Win::SO_KEEPALIVE, Option::KeepAlive, OptionKind::Int},
    {Win::SO_DONTROUTE, Option::DontRoute, OptionKind::Int},
    {Win::SO_BROADCAST, Option::Broadcast, OptionKind::Int},
    {Win::SO_OOBINLINE, Option::OobInline, OptionKind::Int},
    {Win::SO_SNDBUF, Option::SndBuf, OptionKind::Int},
    {Win::SO_RCVBUF, Option::RcvBuf, OptionKind::Int},
    {Win::SO_SNDTIMEO, Option::SndTimeo, OptionKind::Milliseconds},
    {Win::SO_RCVTIMEO, Option::RcvTimeo, OptionKind::Milliseconds},
    {Win::SO_ERROR, Option::Error, OptionKind::Int},
    {Win::SO_TYPE, Option::Type, OptionKind::Int},
};

// The Windows socket error numbers start here, above every errno value.
constexpr int WsaBaseError = 10000;
std::atomic<int> g_startups{0};

} // namespace

namespace Kiv::Platform {

// The thread's errno is the process's one per-thread last-error slot, shared by every module
// whatever copy of this layer it links, so the socket error lives there: failures store the
// Windows number, and an errno that a system call left is translated when asked for.
int WSAGetLastError() noexcept
{
    const int error = errno;
    return error == 0 || error >= WsaBaseError ? error : WsaErrorFromErrno(error);
}

void WSASetLastError(int error) noexcept
{
    errno = error;
}

int WSAStartup(WORD requestedVersion, WSADATA* data) noexcept
{
    // Version 1.0 is the lowest there is; the version word holds the major number in its low byte.
    if ((requestedVersion & 0xFF) == 0) {
        return WSAVERNOTSUPPORTED;
    }
    if (data == nullptr) {
        return WSAEFAULT;
    }
    std::memset(data, 0, sizeof *data);
    const bool above = (requestedVersion & 0xFF) > (HighestSocketsVersion & 0xFF) ||
                       ((requestedVersion & 0xFF) == (HighestSocketsVersion & 0xFF) &&
                        (requestedVersion >> 8) > (HighestSocketsVersion >> 8));
    data->wVersion = above ? HighestSocketsVersion : requestedVersion;
    data->wHighVersion = HighestSocketsVersion;
    std::strcpy(data->szDescription, "Berkeley sockets");
    std::strcpy(data->szSystemStatus, "Running");
    g_startups.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

int WSACleanup() noexcept
{
    int count = g_startups.load(std::memory_order_acquire);
    while (count > 0) {
        if (g_startups.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) {
            return 0;
        }
    }
    Win::WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
}

USHORT htons(USHORT value) noexcept
{
    return std::endian::native == std::endian::big ? value : static_cast<USHORT>((value >> 8) | (value << 8));
}

USHORT ntohs(USHORT value) noexcept
{
    return htons(value);
}

ULONG htonl(ULONG value) noexcept
{
    if constexpr (std::endian::native == std::endian::big) {
        return value;
    }
    return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) | (value >> 24);
}

ULONG ntohl(ULONG value) noexcept
{
    return htonl(value);
}

} // namespace Kiv::Platform

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int SystemOption(Option option)
{
    switch (option) {
    case Option::Debug: return SO_DEBUG;
    case Option::ReuseAddr: return SO_REUSEADDR;
    case Option::KeepAlive: return SO_KEEPALIVE;
    case Option::DontRoute: return SO_DONTROUTE;
    case Option::Broadcast: return SO_BROADCAST;
    case Option::OobInline: return SO_OOBINLINE;
    case Option::SndBuf: return SO_SNDBUF;
    case Option::RcvBuf: return SO_RCVBUF;
    case Option::SndTimeo: return SO_SNDTIMEO;
    case Option::RcvTimeo: return SO_RCVTIMEO;
    case Option::Error: return SO_ERROR;
    case Option::Type: return SO_TYPE;
    }
    return -1;
}

const WinOption* FindOption(int winOption)
{
    const auto* it = std::find_if(std::begin(WinOptions), std::end(WinOptions),
                                  [winOption](const WinOption& o) { return o.win == winOption; });
    return it != std::end(WinOptions) ? it : nullptr;
}

int Fail(int wsaError)
{
    Win::WSASetLastError(wsaError);
    return WinSocketError;
}

int FailFromErrno()
{
    return Fail(Win::WsaErrorFromErrno(errno));
}

// The descriptor of a handle; -1 (WSAENOTSOCK stored) for 0 and for values no descriptor has.
int Descriptor(SOCKET s)
{
    if (s == 0 || s > static_cast<SOCKET>(INT_MAX)) {
        Win::WSASetLastError(Win::WSAENOTSOCK);
        return -1;
    }
    return static_cast<int>(s);
}

// A new descriptor as a handle. Descriptor 0 is moved above 0, as callers read 0 as "no socket".
SOCKET Handle(int fd)
{
    if (fd != 0) {
        return static_cast<SOCKET>(fd);
    }
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    const int error = errno;
    ::close(fd);
    if (moved < 0) {
        Win::WSASetLastError(Win::WsaErrorFromErrno(error));
        return WinInvalidSocket;
    }
    return static_cast<SOCKET>(moved);
}

// Checks an address the caller hands in: an IPv4 address needs the whole 16-byte record.
bool AddressInUsable(const SOCKADDR* address, int length)
{
    if (address == nullptr || length < static_cast<int>(sizeof(SOCKADDR_IN))) {
        Win::WSASetLastError(Win::WSAEFAULT);
        return false;
    }
    return true;
}

// Checks a buffer that receives an address: null with a null length, or room for 16 bytes.
bool AddressOutUsable(const SOCKADDR* address, const int* length)
{
    if (address == nullptr && length == nullptr) {
        return true;
    }
    if (address == nullptr || length == nullptr || *length < static_cast<int>(sizeof(SOCKADDR_IN))) {
        Win::WSASetLastError(Win::WSAEFAULT);
        return false;
    }
    return true;
}

// The address records have the system's layout for IPv4 (16 bytes, family first), so the bytes
// pass unchanged.
const sockaddr* SystemAddress(const SOCKADDR* address)
{
    return reinterpret_cast<const sockaddr*>(address);
}

// The system's flags, or -1 for flags this layer does not know.
int SystemFlags(int flags)
{
    if ((flags & ~(WinMsgOob | WinMsgPeek | WinMsgDontRoute | WinMsgWaitAll)) != 0) {
        return -1;
    }
    int result = 0;
    result |= (flags & WinMsgOob) != 0 ? MSG_OOB : 0;
    result |= (flags & WinMsgPeek) != 0 ? MSG_PEEK : 0;
    result |= (flags & WinMsgDontRoute) != 0 ? MSG_DONTROUTE : 0;
    result |= (flags & WinMsgWaitAll) != 0 ? MSG_WAITALL : 0;
    return result;
}

// Checks a data buffer and its length: a negative length, or a missing buffer for a positive
// one, is the caller's fault.
bool BufferUsable(const char* buffer, int length)
{
    if (length < 0 || (buffer == nullptr && length > 0)) {
        Win::WSASetLastError(Win::WSAEFAULT);
        return false;
    }
    return true;
}

// Runs a system call again while a signal interrupts it.
template <class Call>
auto RetryOnInterrupt(Call call)
{
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

// Waits for poll events on fd for at most milliseconds, retrying with the time that is left when
// a signal interrupts: the poll result (revents in events).
int PollFor(int fd, short& events, DWORD milliseconds)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const int wait = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        pollfd entry{fd, events, 0};
        const int result = ::poll(&entry, 1, wait);
        if (result > 0) {
            events = entry.revents;
            return result;
        }
        if (result < 0 && errno != EINTR) {
            return result;
        }
        // A time-out of a slice shorter than the whole limit (the limit is beyond INT_MAX
        // milliseconds) or an interruption: wait for what is left.
        if (result == 0 && left <= INT_MAX) {
            return 0;
        }
    }
}

// The local or peer address of s through the system call that gives it.
int AddressOf(int (*call)(int, sockaddr*, socklen_t*), SOCKET s, SOCKADDR* address, int* length)
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return WinSocketError;
    }
    if (address == nullptr || !AddressOutUsable(address, length)) {
        return Fail(Win::WSAEFAULT);
    }
    socklen_t size = static_cast<socklen_t>(*length);
    if (call(fd, reinterpret_cast<sockaddr*>(address), &size) != 0) {
        return FailFromErrno();
    }
    *length = static_cast<int>(size);
    return 0;
}

} // namespace

namespace Kiv::Platform {

int WsaErrorFromErrno(int error) noexcept
{
    switch (error) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    // Writing to a connection the peer has closed: the system says EPIPE where Windows reports
    // the reset connection.
    case EPIPE:
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH:
    case EHOSTDOWN: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
    }
}

SOCKET socket(int family, int type, int protocol) noexcept
{
    if (g_startups.load(std::memory_order_acquire) == 0) {
        Win::WSASetLastError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    // IPv4 stream and datagram sockets only; the numbers are the same on both sides.
    if (family != WinAfInet) {
        Win::WSASetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != WinSockStream && type != WinSockDgram) {
        Win::WSASetLastError(WSAESOCKTNOSUPPORT);
        return INVALID_SOCKET;
    }
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailFromErrno();
        return INVALID_SOCKET;
    }
    return Handle(fd);
}

int connect(SOCKET s, const SOCKADDR* address, int length) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (!AddressInUsable(address, length)) {
        return SOCKET_ERROR;
    }
    if (::connect(fd, SystemAddress(address), static_cast<socklen_t>(length)) == 0) {
        return 0;
    }
    if (errno == EINPROGRESS) {
        // A socket in non-blocking mode: the connection goes on in the background.
        return Fail(WSAEWOULDBLOCK);
    }
    if (errno != EINTR) {
        return FailFromErrno();
    }
    // The connection goes on after an interruption; starting it again would fail, so wait for
    // its outcome instead.
    short events = POLLOUT;
    if (PollFor(fd, events, UINT32_MAX) < 0) {
        return FailFromErrno();
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return FailFromErrno();
    }
    return error == 0 ? 0 : Fail(WsaErrorFromErrno(error));
}

int bind(SOCKET s, const SOCKADDR* address, int length) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0 || !AddressInUsable(address, length)) {
        return SOCKET_ERROR;
    }
    return ::bind(fd, SystemAddress(address), static_cast<socklen_t>(length)) == 0 ? 0 : FailFromErrno();
}

int listen(SOCKET s, int backlog) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    return ::listen(fd, backlog) == 0 ? 0 : FailFromErrno();
}

SOCKET accept(SOCKET s, SOCKADDR* address, int* length) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0 || !AddressOutUsable(address, length)) {
        return INVALID_SOCKET;
    }
    socklen_t size = length != nullptr ? static_cast<socklen_t>(*length) : 0;
    const int accepted = RetryOnInterrupt([&] {
        return ::accept4(fd, reinterpret_cast<sockaddr*>(address), length != nullptr ? &size : nullptr, SOCK_CLOEXEC);
    });
    if (accepted < 0) {
        FailFromErrno();
        return INVALID_SOCKET;
    }
    const SOCKET handle = Handle(accepted);
    if (handle != INVALID_SOCKET && length != nullptr) {
        *length = static_cast<int>(size);
    }
    return handle;
}

int send(SOCKET s, const char* buffer, int length, int flags) noexcept
{
    return sendto(s, buffer, length, flags, nullptr, 0);
}

int sendto(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int toLength) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0 || !BufferUsable(buffer, length) || (to != nullptr && !AddressInUsable(to, toLength))) {
        return SOCKET_ERROR;
    }
    const int systemFlags = SystemFlags(flags);
    if (systemFlags < 0) {
        return Fail(WSAEOPNOTSUPP);
    }
    // MSG_NOSIGNAL: a closed peer is an error for the caller, not a signal that ends the process.
    const ssize_t sent = RetryOnInterrupt([&] {
        return ::sendto(fd, buffer, static_cast<size_t>(length), systemFlags | MSG_NOSIGNAL,
                        to != nullptr ? SystemAddress(to) : nullptr,
                        to != nullptr ? static_cast<socklen_t>(toLength) : 0);
    });
    return sent >= 0 ? static_cast<int>(sent) : FailFromErrno();
}

int recv(SOCKET s, char* buffer, int length, int flags) noexcept
{
    return recvfrom(s, buffer, length, flags, nullptr, nullptr);
}

int recvfrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* fromLength) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0 || !BufferUsable(buffer, length) || !AddressOutUsable(from, fromLength)) {
        return SOCKET_ERROR;
    }
    const int systemFlags = SystemFlags(flags);
    if (systemFlags < 0) {
        return Fail(WSAEOPNOTSUPP);
    }
    socklen_t size = fromLength != nullptr ? static_cast<socklen_t>(*fromLength) : 0;
    const ssize_t received = RetryOnInterrupt([&] {
        return ::recvfrom(fd, buffer, static_cast<size_t>(length), systemFlags, reinterpret_cast<sockaddr*>(from),
                          fromLength != nullptr ? &size : nullptr);
    });
    if (received < 0) {
        return FailFromErrno();
    }
    if (fromLength != nullptr) {
        *fromLength = static_cast<int>(size);
    }
    return static_cast<int>(received);
}

int shutdown(SOCKET s, int how) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    int systemHow = 0;
    switch (how) {
    case SD_RECEIVE: systemHow = SHUT_RD; break;
    case SD_SEND: systemHow = SHUT_WR; break;
    case SD_BOTH: systemHow = SHUT_RDWR; break;
    default: return Fail(WSAEINVAL);
    }
    return ::shutdown(fd, systemHow) == 0 ? 0 : FailFromErrno();
}

int getsockname(SOCKET s, SOCKADDR* address, int* length) noexcept
{
    return AddressOf(::getsockname, s, address, length);
}

int getpeername(SOCKET s, SOCKADDR* address, int* length) noexcept
{
    return AddressOf(::getpeername, s, address, length);
}

int closesocket(SOCKET s) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    // Not retried on EINTR: the descriptor is gone either way, and it may already belong to
    // someone else.
    return ::close(fd) == 0 || errno == EINTR ? 0 : FailFromErrno();
}

int setsockopt(SOCKET s, int level, int option, const char* value, int length) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    const WinOption* known = FindOption(option);
    if (level != WinSolSocket || known == nullptr) {
        return Fail(level != WinSolSocket ? WSAEINVAL : WSAENOPROTOOPT);
    }
    if (value == nullptr || length < static_cast<int>(sizeof(int))) {
        return Fail(WSAEFAULT);
    }
    int number = 0;
    std::memcpy(&number, value, sizeof number);
    int result = 0;
    if (known->kind == OptionKind::Milliseconds) {
        const DWORD ms = static_cast<DWORD>(number);
        const timeval limit{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
        result = ::setsockopt(fd, SOL_SOCKET, SystemOption(known->option), &limit, sizeof limit);
    } else {
        result = ::setsockopt(fd, SOL_SOCKET, SystemOption(known->option), &number, sizeof number);
    }
    return result == 0 ? 0 : FailFromErrno();
}

int getsockopt(SOCKET s, int level, int option, char* value, int* length) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    const WinOption* known = FindOption(option);
    if (level != WinSolSocket || known == nullptr) {
        return Fail(level != WinSolSocket ? WSAEINVAL : WSAENOPROTOOPT);
    }
    if (value == nullptr || length == nullptr || *length < static_cast<int>(sizeof(int))) {
        return Fail(WSAEFAULT);
    }
    int number = 0;
    if (known->kind == OptionKind::Milliseconds) {
        timeval limit{};
        socklen_t size = sizeof limit;
        if (::getsockopt(fd, SOL_SOCKET, SystemOption(known->option), &limit, &size) != 0) {
            return FailFromErrno();
        }
        number = static_cast<int>(limit.tv_sec * 1000 + limit.tv_usec / 1000);
    } else {
        socklen_t size = sizeof number;
        if (::getsockopt(fd, SOL_SOCKET, SystemOption(known->option), &number, &size) != 0) {
            return FailFromErrno();
        }
        if (known->option == Option::Error && number != 0) {
            number = WsaErrorFromErrno(number);
        }
    }
    std::memcpy(value, &number, sizeof number);
    *length = sizeof number;
    return 0;
}

int ioctlsocket(SOCKET s, LONG command, ULONG* argument) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    if (argument == nullptr) {
        return Fail(WSAEFAULT);
    }
    if (command == WinFionbio) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0) {
            return FailFromErrno();
        }
        const int wanted = *argument != 0 ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
        return ::fcntl(fd, F_SETFL, wanted) == 0 ? 0 : FailFromErrno();
    }
    if (command == WinFionread) {
        int available = 0;
        if (::ioctl(fd, FIONREAD, &available) != 0) {
            return FailFromErrno();
        }
        *argument = static_cast<ULONG>(available);
        return 0;
    }
    return Fail(WSAEINVAL);
}

int WaitForReadable(SOCKET s, DWORD milliseconds) noexcept
{
    const int fd = Descriptor(s);
    if (fd < 0) {
        return SOCKET_ERROR;
    }
    short events = POLLIN;
    const int result = PollFor(fd, events, milliseconds);
    if (result < 0) {
        return FailFromErrno();
    }
    if (result > 0 && (events & POLLNVAL) != 0) {
        return Fail(WSAENOTSOCK);
    }
    // A closed or failed connection counts as readable: the next receive reports it.
    return result > 0 ? 1 : 0;
}

ULONG inet_addr(const char* text) noexcept
{
    return text != nullptr ? ::inet_addr(text) : INADDR_NONE;
}

} // namespace Kiv::Platform
