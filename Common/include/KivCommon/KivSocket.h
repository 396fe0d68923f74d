// Socket objects over the platform's sockets (IPv4), and the socket utility that makes them
// (Kiv::GetKivSocketUtil).
//
// One socket object offers three interfaces: IKivSocket (connection and transfer), and
// IKivSocketCtrl (options, I/O control) and IKivSocketBasicOperation (create, attach, detach,
// shut down, close) as aggregated parts; holding any of them holds the whole object. A socket
// object holds a handle or none (0). Results are the platform's: booleans for the connection
// operations, raw values for the transfers, and the cause of a failure is the platform's last
// socket error (Kiv::Platform::WSAGetLastError), which the objects never touch. Releasing the last
// reference does not close a held handle: callers Close or Detach first.
//
// Thread-safety: reference counts are atomic; a socket object is used by one thread at a time.
#pragma once

#include "KivCommon/KivCommonExport.h"

#include "KivPlatform/Socket.h"
#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

namespace Kiv {

struct IKivSocket : IUnknown {
    KIV_INTERFACE_ID("7DB642F3-E1AC-4F23-B3A1-06309AFFDC48");
    // FALSE without a handle; else TRUE when the platform's call succeeds.
    virtual BOOL Connect(const SOCKADDR* address, int length) = 0;
    // Connects to a dotted IPv4 address and a port in host order. A text that is not an address
    // becomes INADDR_NONE, which goes to Connect as it is.
    virtual BOOL ConnectTo(const char* address, USHORT port) = 0;
    virtual BOOL Bind(const SOCKADDR* address, int length) = 0;
    virtual BOOL Listen(int backlog) = 0;
    // Takes a connection: TRUE with a new socket object (one reference for the caller) in
    // *socket. Every argument is required.
    virtual BOOL Accept(IKivSocket** socket, SOCKADDR* address, int* length) = 0;
    virtual int Send(const char* buffer, int length, int flags) = 0;
    virtual int SendTo(const char* buffer, int length, int flags, const SOCKADDR* to, int toLength) = 0;
    virtual int Recv(char* buffer, int length, int flags) = 0;
    virtual int RecvFrom(char* buffer, int length, int flags, SOCKADDR* from, int* fromLength) = 0;
    // TRUE when the socket becomes readable within milliseconds; 0 polls once.
    virtual BOOL WaitForRead(DWORD milliseconds) = 0;
};

struct IKivSocketCtrl : IUnknown {
    KIV_INTERFACE_ID("6C84650F-5586-443F-9C2A-A4BB10B2D63D");
    // Socket options at level SOL_SOCKET.
    virtual BOOL SetOption(int option, const char* value, int length) = 0;
    virtual BOOL GetOption(int option, char* value, int* length) = 0;
    // FIONBIO (blocking mode) and FIONREAD (bytes waiting).
    virtual BOOL IoControl(LONG command, ULONG* argument) = 0;
};

struct IKivSocketBasicOperation : IUnknown {
    KIV_INTERFACE_ID("B072562B-8AB2-40E5-BC91-A29F7F5BA6B0");
    // Closes a held handle, then makes a new socket: S_OK, or E_FAIL leaving no handle.
    virtual HRESULT Create(int family, int type, int protocol) = 0;
    // Closes a held handle, then takes over the given one.
    virtual void Attach(SOCKET handle) = 0;
    // Gives the handle away (the caller owns it) and keeps none.
    virtual SOCKET Detach() = 0;
    virtual int Shutdown(int how) = 0;
    // Shuts down and closes a held handle; no handle afterwards in every case.
    virtual void Close() = 0;
};

// Makes socket objects (count 0: the receiver takes the first reference; null when memory runs
// out) and starts and ends the use of the sockets, which the caller pairs.
class IKivSocketUtil {
public:
    virtual IKivSocket* CreateSocket() = 0;
    // A TCP socket, or an object without a handle when the platform refuses one.
    virtual IKivSocket* CreateTcpSocket() = 0;
    virtual IKivSocket* CreateUdpSocket() = 0;
    virtual BOOL Startup(WORD version, WSADATA* data) = 0;
    virtual int Cleanup() = 0;

protected:
    ~IKivSocketUtil() = default;
};

KIVCOMMON_API IKivSocketUtil* GetKivSocketUtil();

} // namespace Kiv
