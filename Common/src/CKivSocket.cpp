#include "CKivSocket.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <cstring>

namespace Kiv {

namespace Sock = Platform;

namespace {

// A new socket object with count 0, or null when it or one of its parts could not be made.
CKivObject<CKivSocket>* NewSocket()
{
    CKivObject<CKivSocket>* object = CKivObject<CKivSocket>::CreateObject();
    if (object != nullptr && !object->HasParts()) {
        // Count 0 to 1 and back: the incomplete object goes.
        CComPtr<IKivSocket> discard(object);
        return nullptr;
    }
    return object;
}

// A new socket object with a handle of the given kind; the object also comes back when the
// platform refuses the socket, without a handle.
IKivSocket* NewSocketWith(int family, int type, int protocol)
{
    CKivObject<CKivSocket>* object = NewSocket();
    if (object != nullptr) {
        object->CreateHandle(family, type, protocol);
    }
    return object;
}

} // namespace

CKivSocket::CKivSocket()
{
    // The parts are made with this object as their outer object; a part that cannot be made
    // leaves its pointer empty (HasParts).
    IKivSocket* outer = this;
    if (auto* ctrl = CKivAggObject<CKivSocketCtrl>::CreateObject(outer, this)) {
        m_ctrl = ctrl->GetInnerUnknown();
    }
    if (auto* basicOperation = CKivAggObject<CKivSocketBasicOperation>::CreateObject(outer, this)) {
        m_basicOperation = basicOperation->GetInnerUnknown();
    }
}

HRESULT CKivSocket::FindInterface(REFIID riid, void** ppv)
{
    if (riid == IKivSocketCtrl::Iid && m_ctrl) {
        return m_ctrl->QueryInterface(riid, ppv);
    }
    if (riid == IKivSocketBasicOperation::Iid && m_basicOperation) {
        return m_basicOperation->QueryInterface(riid, ppv);
    }
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivSocket::Iid, this}}, riid, ppv);
}

BOOL CKivSocket::Connect(const SOCKADDR* address, int length)
{
    return m_handle != 0 && Sock::connect(m_handle, address, length) == 0;
}

BOOL CKivSocket::ConnectTo(const char* address, USHORT port)
{
    SOCKADDR_IN target;
    std::memset(&target, 0, sizeof target);
    target.sin_family = Sock::AF_INET;
    target.sin_port = Sock::htons(port);
    target.sin_addr.s_addr = Sock::inet_addr(address);
    return Connect(reinterpret_cast<const SOCKADDR*>(&target), sizeof target);
}

BOOL CKivSocket::Bind(const SOCKADDR* address, int length)
{
    return m_handle != 0 && Sock::bind(m_handle, address, length) == 0;
}

BOOL CKivSocket::Listen(int backlog)
{
    return m_handle != 0 && Sock::listen(m_handle, backlog) == 0;
}

BOOL CKivSocket::Accept(IKivSocket** socket, SOCKADDR* address, int* length)
{
    if (socket == nullptr || address == nullptr || length == nullptr || m_handle == 0) {
        return FALSE;
    }
    const SOCKET accepted = Sock::accept(m_handle, address, length);
    if (accepted == Sock::INVALID_SOCKET) {
        return FALSE;
    }
    CComPtr<IKivSocket> connection(NewSocket());
    CComPtr<IKivSocketBasicOperation> basicOperation;
    if (!connection || FAILED(connection.QueryInterface(&basicOperation))) {
        // Nobody would own the accepted connection: it is closed rather than leaked.
        Sock::closesocket(accepted);
        *socket = nullptr;
        return FALSE;
    }
    basicOperation->Attach(accepted);
    *socket = connection.Detach();
    return TRUE;
}

int CKivSocket::Send(const char* buffer, int length, int flags)
{
    return Sock::send(m_handle, buffer, length, flags);
}

int CKivSocket::SendTo(const char* buffer, int length, int flags, const SOCKADDR* to, int toLength)
{
    return Sock::sendto(m_handle, buffer, length, flags, to, toLength);
}

int CKivSocket::Recv(char* buffer, int length, int flags)
{
    return Sock::recv(m_handle, buffer, length, flags);
}

int CKivSocket::RecvFrom(char* buffer, int length, int flags, SOCKADDR* from, int* fromLength)
{
    return Sock::recvfrom(m_handle, buffer, length, flags, from, fromLength);
}

BOOL CKivSocket::WaitForRead(DWORD milliseconds)
{
    return Sock::WaitForReadable(m_handle, milliseconds) == 1;
}

HRESULT CKivSocket::CreateHandle(int family, int type, int protocol)
{
    CloseHandle();
    const SOCKET handle = Sock::socket(family, type, protocol);
    if (handle == Sock::INVALID_SOCKET) {
        return E_FAIL;
    }
    m_handle = handle;
    return S_OK;
}

void CKivSocket::AttachHandle(SOCKET handle)
{
    CloseHandle();
    m_handle = handle;
}

SOCKET CKivSocket::DetachHandle()
{
    const SOCKET handle = m_handle;
    m_handle = 0;
    return handle;
}

int CKivSocket::ShutdownHandle(int how)
{
    return Sock::shutdown(m_handle, how);
}

void CKivSocket::CloseHandle()
{
    if (m_handle != 0 && m_handle != Sock::INVALID_SOCKET) {
        Sock::shutdown(m_handle, Sock::SD_BOTH);
        Sock::closesocket(m_handle);
    }
    m_handle = 0;
}

BOOL CKivSocketCtrl::SetOption(int option, const char* value, int length)
{
    return Sock::setsockopt(m_socket->GetHandle(), Sock::SOL_SOCKET, option, value, length) == 0;
}

BOOL CKivSocketCtrl::GetOption(int option, char* value, int* length)
{
    return Sock::getsockopt(m_socket->GetHandle(), Sock::SOL_SOCKET, option, value, length) == 0;
}

BOOL CKivSocketCtrl::IoControl(LONG command, ULONG* argument)
{
    return Sock::ioctlsocket(m_socket->GetHandle(), command, argument) == 0;
}

HRESULT CKivSocketCtrl::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivSocketCtrl::Iid, this}}, riid, ppv);
}

HRESULT CKivSocketBasicOperation::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivSocketBasicOperation::Iid, this}}, riid, ppv);
}

IKivSocket* CKivSocketUtil::CreateSocket()
{
    return NewSocket();
}

IKivSocket* CKivSocketUtil::CreateTcpSocket()
{
    return NewSocketWith(Sock::AF_INET, Sock::SOCK_STREAM, Sock::IPPROTO_TCP);
}

IKivSocket* CKivSocketUtil::CreateUdpSocket()
{
    return NewSocketWith(Sock::AF_INET, Sock::SOCK_DGRAM, Sock::IPPROTO_UDP);
}

BOOL CKivSocketUtil::Startup(WORD version, WSADATA* data)
{
    return Sock::WSAStartup(version, data) == 0;
}

int CKivSocketUtil::Cleanup()
{
    return Sock::WSACleanup();
}

IKivSocketUtil* GetKivSocketUtil()
{
    static CKivSocketUtil util;
    return &util;
}

} // namespace Kiv
