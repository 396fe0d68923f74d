// The socket object (CKivSocket) with its two aggregated parts (CKivSocketCtrl,
// CKivSocketBasicOperation), and the socket utility. The parts work on the socket object's
// handle through a back pointer; the socket object keeps each part alive through its inner
// unknown. Not thread-safe: one thread at a time per socket object; counts are atomic.
#pragma once

#include "KivCommon/KivSocket.h"

#include "KivObject/ComPtr.h"

namespace Kiv {

class CKivSocket : public IKivSocket {
public:
    CKivSocket();
    virtual ~CKivSocket() = default;
    CKivSocket(const CKivSocket&) = delete;
    CKivSocket& operator=(const CKivSocket&) = delete;

    // False when a part could not be made (memory ran out); such an object is not handed out.
    bool HasParts() const { return m_ctrl && m_basicOperation; }

    BOOL Connect(const SOCKADDR* address, int length) override;
    BOOL ConnectTo(const char* address, USHORT port) override;
    BOOL Bind(const SOCKADDR* address, int length) override;
    BOOL Listen(int backlog) override;
    BOOL Accept(IKivSocket** socket, SOCKADDR* address, int* length) override;
    int Send(const char* buffer, int length, int flags) override;
    int SendTo(const char* buffer, int length, int flags, const SOCKADDR* to, int toLength) override;
    int Recv(char* buffer, int length, int flags) override;
    int RecvFrom(char* buffer, int length, int flags, SOCKADDR* from, int* fromLength) override;
    BOOL WaitForRead(DWORD milliseconds) override;

    // The handle operations, which the basic-operation part offers.
    SOCKET GetHandle() const { return m_handle; }
    HRESULT CreateHandle(int family, int type, int protocol);
    void AttachHandle(SOCKET handle);
    SOCKET DetachHandle();
    int ShutdownHandle(int how);
    void CloseHandle();

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // 0 when there is no socket.
    SOCKET m_handle = 0;
    CComPtr<IUnknown> m_ctrl;
    CComPtr<IUnknown> m_basicOperation;
};

class CKivSocketCtrl : public IKivSocketCtrl {
public:
    explicit CKivSocketCtrl(CKivSocket* socket) : m_socket(socket) {}

    BOOL SetOption(int option, const char* value, int length) override;
    BOOL GetOption(int option, char* value, int* length) override;
    BOOL IoControl(LONG command, ULONG* argument) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // The owning socket object, which outlives its parts (not counted).
    CKivSocket* m_socket;
};

class CKivSocketBasicOperation : public IKivSocketBasicOperation {
public:
    explicit CKivSocketBasicOperation(CKivSocket* socket) : m_socket(socket) {}

    HRESULT Create(int family, int type, int protocol) override { return m_socket->CreateHandle(family, type, protocol); }
    void Attach(SOCKET handle) override { m_socket->AttachHandle(handle); }
    SOCKET Detach() override { return m_socket->DetachHandle(); }
    int Shutdown(int how) override { return m_socket->ShutdownHandle(how); }
    void Close() override { m_socket->CloseHandle(); }

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CKivSocket* m_socket;
};

class CKivSocketUtil : public IKivSocketUtil {
public:
    IKivSocket* CreateSocket() override;
    IKivSocket* CreateTcpSocket() override;
    IKivSocket* CreateUdpSocket() override;
    BOOL Startup(WORD version, WSADATA* data) override;
    int Cleanup() override;
};

} // namespace Kiv
