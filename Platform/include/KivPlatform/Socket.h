// Berkeley sockets under the Windows Sockets names and values (IPv4): the handle type, the
// address records in their Windows layout, the constants callers pass, the socket calls, and the
// per-thread last socket error with the Windows socket error numbers (WSAGetLastError).
//
// The calls take Windows values (SOL_SOCKET 0xFFFF, FIONBIO, MSG_WAITALL, the SO_ options) and
// translate them for the system. Each call that fails stores its error for WSAGetLastError and
// leaves it alone on success, as the Windows calls do. Interrupted system calls are retried. A
// descriptor 0 is never handed out as a socket (0 means "no socket" to the callers): it is moved
// above 0 first. Sockets are not inherited by programs this process starts.
//
// The names live in Kiv::Platform, because the system's socket headers define most of them as
// macros or functions of their own (in a file that includes those headers, a macro still wins over
// the name here). Thread-safety: every call is thread-safe; the last error is
// per thread; Startup and Cleanup count per process.
#pragma once

#include "KivPlatform/Types.h"

// The platform's socket handle: 32 bits wide, INVALID_SOCKET for "none".
using SOCKET = UINT;

// A socket address: family, then 14 bytes of family-specific data.
struct SOCKADDR {
    USHORT sa_family;
    char sa_data[14];
};

struct IN_ADDR {
    ULONG s_addr;
};

// An IPv4 socket address, 16 bytes; port and address in network byte order.
struct SOCKADDR_IN {
    SHORT sin_family;
    USHORT sin_port;
    IN_ADDR sin_addr;
    char sin_zero[8];
};

inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;

// What Startup reports about the socket library.
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    USHORT iMaxSockets;
    USHORT iMaxUdpDg;
    char* lpVendorInfo;
};

// The system's socket headers define many of these names as macros; they are set aside while
// this header declares its own, so that it can be included before or after them.
#pragma push_macro("AF_INET")
#undef AF_INET
#pragma push_macro("SOCK_STREAM")
#undef SOCK_STREAM
#pragma push_macro("SOCK_DGRAM")
#undef SOCK_DGRAM
#pragma push_macro("IPPROTO_TCP")
#undef IPPROTO_TCP
#pragma push_macro("IPPROTO_UDP")
#undef IPPROTO_UDP
#pragma push_macro("INADDR_ANY")
#undef INADDR_ANY
#pragma push_macro("INADDR_NONE")
#undef INADDR_NONE
#pragma push_macro("SD_RECEIVE")
#undef SD_RECEIVE
#pragma push_macro("SD_SEND")
#undef SD_SEND
#pragma push_macro("SD_BOTH")
#undef SD_BOTH
#pragma push_macro("MSG_OOB")
#undef MSG_OOB
#pragma push_macro("MSG_PEEK")
#undef MSG_PEEK
#pragma push_macro("MSG_DONTROUTE")
#undef MSG_DONTROUTE
#pragma push_macro("MSG_WAITALL")
#undef MSG_WAITALL
#pragma push_macro("SOL_SOCKET")
#undef SOL_SOCKET
#pragma push_macro("SO_DEBUG")
#undef SO_DEBUG
#pragma push_macro("SO_REUSEADDR")
#undef SO_REUSEADDR
#pragma push_macro("SO_KEEPALIVE")
#undef SO_KEEPALIVE
#pragma push_macro("SO_DONTROUTE")
#undef SO_DONTROUTE
#pragma push_macro("SO_BROADCAST")
#undef SO_BROADCAST
#pragma push_macro("SO_OOBINLINE")
#undef SO_OOBINLINE
#pragma push_macro("SO_SNDBUF")
#undef SO_SNDBUF
#pragma push_macro("SO_RCVBUF")
#undef SO_RCVBUF
#pragma push_macro("SO_SNDTIMEO")
#undef SO_SNDTIMEO
#pragma push_macro("SO_RCVTIMEO")
#undef SO_RCVTIMEO
#pragma push_macro("SO_ERROR")
#undef SO_ERROR
#pragma push_macro("SO_TYPE")
#undef SO_TYPE
#pragma push_macro("FIONBIO")
#undef FIONBIO
#pragma push_macro("FIONREAD")
#undef FIONREAD
#pragma push_macro("htons")
#undef htons
#pragma push_macro("ntohs")
#undef ntohs
#pragma push_macro("htonl")
#undef htonl
#pragma push_macro("ntohl")
#undef ntohl

namespace Kiv::Platform {

inline constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET = 2;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int SOCK_DGRAM = 2;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr int IPPROTO_UDP = 17;
inline constexpr ULONG INADDR_ANY = 0x00000000u;
inline constexpr ULONG INADDR_NONE = 0xFFFFFFFFu;

// Shutdown directions.
inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;

// Send and receive flags.
inline constexpr int MSG_OOB = 0x1;
inline constexpr int MSG_PEEK = 0x2;
inline constexpr int MSG_DONTROUTE = 0x4;
inline constexpr int MSG_WAITALL = 0x8;

// Socket options at level SOL_SOCKET. The integer options take a 32-bit int; SO_RCVTIMEO and
// SO_SNDTIMEO take a 32-bit number of milliseconds (0: no limit).
inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_DEBUG = 0x0001;
inline constexpr int SO_REUSEADDR = 0x0004;
inline constexpr int SO_KEEPALIVE = 0x0008;
inline constexpr int SO_DONTROUTE = 0x0010;
inline constexpr int SO_BROADCAST = 0x0020;
inline constexpr int SO_OOBINLINE = 0x0100;
inline constexpr int SO_SNDBUF = 0x1001;
inline constexpr int SO_RCVBUF = 0x1002;
inline constexpr int SO_SNDTIMEO = 0x1005;
inline constexpr int SO_RCVTIMEO = 0x1006;
inline constexpr int SO_ERROR = 0x1007;
inline constexpr int SO_TYPE = 0x1008;

// I/O control commands: FIONBIO sets non-blocking mode (argument non-zero) or blocking mode;
// FIONREAD gives the number of bytes that can be read at once.
inline constexpr LONG FIONBIO = static_cast<LONG>(0x8004667Eu);
inline constexpr LONG FIONREAD = 0x4004667F;

// The Windows socket error numbers that WSAGetLastError gives.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;

// The highest version this layer offers (2.2), as a version word: minor in the high byte.
inline constexpr WORD HighestSocketsVersion = 0x0202;

constexpr WORD MAKEWORD(BYTE low, BYTE high)
{
    return static_cast<WORD>(low | (high << 8));
}

// The error of the calling thread's last failed socket call. It shares the thread's last-error
// slot (errno) with the system, as the Windows calls share theirs, so it is to be read straight
// after the call that failed.
int WSAGetLastError() noexcept;
void WSASetLastError(int error) noexcept;
// The Windows socket error number for an errno value (WSAEINVAL for values without one).
int WsaErrorFromErrno(int error) noexcept;

// Starts the use of the sockets: 0, WSAVERNOTSUPPORTED for a version below 1.0, WSAEFAULT for a
// null data record. Each successful Startup needs one Cleanup.
int WSAStartup(WORD requestedVersion, WSADATA* data) noexcept;
// Ends one Startup: 0, or SOCKET_ERROR (WSANOTINITIALISED) without one.
int WSACleanup() noexcept;

// INVALID_SOCKET on failure, WSANOTINITIALISED before WSAStartup.
SOCKET socket(int family, int type, int protocol) noexcept;
// 0 or SOCKET_ERROR. An interrupted connect is finished, not started again.
int connect(SOCKET s, const SOCKADDR* address, int length) noexcept;
int bind(SOCKET s, const SOCKADDR* address, int length) noexcept;
int listen(SOCKET s, int backlog) noexcept;
// The new socket, or INVALID_SOCKET. address and length may be null together.
SOCKET accept(SOCKET s, SOCKADDR* address, int* length) noexcept;
// Bytes sent or received, 0 at an orderly close (receiving), or SOCKET_ERROR. A negative length
// gives WSAEFAULT. Sending to a closed peer is an error, never a signal.
int send(SOCKET s, const char* buffer, int length, int flags) noexcept;
int sendto(SOCKET s, const char* buffer, int length, int flags, const SOCKADDR* to, int toLength) noexcept;
int recv(SOCKET s, char* buffer, int length, int flags) noexcept;
int recvfrom(SOCKET s, char* buffer, int length, int flags, SOCKADDR* from, int* fromLength) noexcept;
int shutdown(SOCKET s, int how) noexcept;
// The local and the peer's address: 0 or SOCKET_ERROR; the buffer needs 16 bytes.
int getsockname(SOCKET s, SOCKADDR* address, int* length) noexcept;
int getpeername(SOCKET s, SOCKADDR* address, int* length) noexcept;
int closesocket(SOCKET s) noexcept;
// Level SOL_SOCKET only; an option this layer does not know gives WSAENOPROTOOPT.
int setsockopt(SOCKET s, int level, int option, const char* value, int length) noexcept;
int getsockopt(SOCKET s, int level, int option, char* value, int* length) noexcept;
// FIONBIO and FIONREAD; other commands give WSAEINVAL.
int ioctlsocket(SOCKET s, LONG command, ULONG* argument) noexcept;

// Waits until s can be read without blocking (data, a connection to accept, or the peer's
// close), at most milliseconds: 1 when readable, 0 when the time ran out, SOCKET_ERROR on
// failure. 0 milliseconds polls once.
int WaitForReadable(SOCKET s, DWORD milliseconds) noexcept;

// Byte order and dotted IPv4 text. inet_addr gives INADDR_NONE for a text it cannot read.
USHORT htons(USHORT value) noexcept;
USHORT ntohs(USHORT value) noexcept;
ULONG htonl(ULONG value) noexcept;
ULONG ntohl(ULONG value) noexcept;
ULONG inet_addr(const char* text) noexcept;

} // namespace Kiv::Platform

#pragma pop_macro("ntohl")
#pragma pop_macro("htonl")
#pragma pop_macro("ntohs")
#pragma pop_macro("htons")
#pragma pop_macro("FIONREAD")
#pragma pop_macro("FIONBIO")
#pragma pop_macro("SO_TYPE")
#pragma pop_macro("SO_ERROR")
#pragma pop_macro("SO_RCVTIMEO")
#pragma pop_macro("SO_SNDTIMEO")
#pragma pop_macro("SO_RCVBUF")
#pragma pop_macro("SO_SNDBUF")
#pragma pop_macro("SO_OOBINLINE")
#pragma pop_macro("SO_BROADCAST")
#pragma pop_macro("SO_DONTROUTE")
#pragma pop_macro("SO_KEEPALIVE")
#pragma pop_macro("SO_REUSEADDR")
#pragma pop_macro("SO_DEBUG")
#pragma pop_macro("SOL_SOCKET")
#pragma pop_macro("MSG_WAITALL")
#pragma pop_macro("MSG_DONTROUTE")
#pragma pop_macro("MSG_PEEK")
#pragma pop_macro("MSG_OOB")
#pragma pop_macro("SD_BOTH")
#pragma pop_macro("SD_SEND")
#pragma pop_macro("SD_RECEIVE")
#pragma pop_macro("INADDR_NONE")
#pragma pop_macro("INADDR_ANY")
#pragma pop_macro("IPPROTO_UDP")
#pragma pop_macro("IPPROTO_TCP")
#pragma pop_macro("SOCK_DGRAM")
#pragma pop_macro("SOCK_STREAM")
#pragma pop_macro("AF_INET")
