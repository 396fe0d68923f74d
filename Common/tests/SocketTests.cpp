// Socket objects over real sockets on 127.0.0.1: TCP through accept, UDP, waiting for data,
// handing handles over, the options and the failures a caller meets (closed peers, refused
// connections, a port in use, bad lengths, interrupted calls).
#include "KivCommon/KivCommon.h"

#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

namespace Sock = Kiv::Platform;
using Kiv::CComPtr;
using Kiv::IKivSocket;
using Kiv::IKivSocketBasicOperation;
using Kiv::IKivSocketCtrl;

Kiv::IKivSocketUtil* Util()
{
    return Kiv::GetKivSocketUtil();
}

SOCKADDR_IN Loopback(USHORT port)
{
    SOCKADDR_IN address{};
    address.sin_family = Sock::AF_INET;
    address.sin_port = Sock::htons(port);
    address.sin_addr.s_addr = Sock::inet_addr("127.0.0.1");
    return address;
}

const SOCKADDR* AsAddress(const SOCKADDR_IN& address)
{
    return reinterpret_cast<const SOCKADDR*>(&address);
}

CComPtr<IKivSocketBasicOperation> Basic(IKivSocket* socket)
{
    CComPtr<IKivSocketBasicOperation> basic;
    EXPECT_EQ(socket->QueryInterface(IID_PPV_ARGS(&basic)), S_OK);
    return basic;
}

CComPtr<IKivSocketCtrl> Ctrl(IKivSocket* socket)
{
    CComPtr<IKivSocketCtrl> ctrl;
    EXPECT_EQ(socket->QueryInterface(IID_PPV_ARGS(&ctrl)), S_OK);
    return ctrl;
}

// The local port a socket is bound to.
USHORT PortOf(IKivSocket* socket)
{
    CComPtr<IKivSocketBasicOperation> basic = Basic(socket);
    const SOCKET handle = basic->Detach();
    SOCKADDR_IN address{};
    int length = sizeof address;
    EXPECT_EQ(Sock::getsockname(handle, reinterpret_cast<SOCKADDR*>(&address), &length), 0);
    basic->Attach(handle);
    return Sock::ntohs(address.sin_port);
}

// A socket object holding a handle, closed when the test ends.
class OwnedSocket {
public:
    explicit OwnedSocket(IKivSocket* socket) : m_socket(socket) {}
    ~OwnedSocket()
    {
        if (m_socket) {
            Basic(m_socket)->Close();
        }
    }
    OwnedSocket(OwnedSocket&&) = default;
    IKivSocket* operator->() const { return m_socket; }
    IKivSocket* Get() const { return m_socket; }

private:
    CComPtr<IKivSocket> m_socket;
};

class SocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data{};
        ASSERT_TRUE(Util()->Startup(Sock::MAKEWORD(2, 2), &data));
    }
    void TearDown() override { EXPECT_EQ(Util()->Cleanup(), 0); }

    // A listening TCP socket on 127.0.0.1 at a port the system chose.
    static OwnedSocket Listener()
    {
        OwnedSocket listener(Util()->CreateTcpSocket());
        const SOCKADDR_IN any = Loopback(0);
        EXPECT_TRUE(listener->Bind(AsAddress(any), sizeof any));
        EXPECT_TRUE(listener->Listen(4));
        return listener;
    }

    // A connected pair: the client end and the accepted end.
    struct Connection {
        OwnedSocket client;
        OwnedSocket server;
    };
    static Connection Connect(IKivSocket* listener)
    {
        OwnedSocket client(Util()->CreateTcpSocket());
        EXPECT_TRUE(client->ConnectTo("127.0.0.1", PortOf(listener)));
        IKivSocket* accepted = nullptr;
        SOCKADDR_IN from{};
        int length = sizeof from;
        EXPECT_TRUE(listener->Accept(&accepted, reinterpret_cast<SOCKADDR*>(&from), &length));
        CComPtr<IKivSocket> server;
        server.Attach(accepted);
        return Connection{std::move(client), OwnedSocket(server)};
    }

    static std::string Receive(IKivSocket* socket, int size)
    {
        std::string data(static_cast<std::size_t>(size), '\0');
        int got = 0;
        while (got < size) {
            const int n = socket->Recv(data.data() + got, size - got, 0);
            if (n <= 0) {
                break;
            }
            got += n;
        }
        data.resize(static_cast<std::size_t>(got));
        return data;
    }
};

TEST_F(SocketTest, TcpEchoThroughAccept)
{
    OwnedSocket listener = Listener();
    OwnedSocket client(Util()->CreateTcpSocket());
    ASSERT_TRUE(client->ConnectTo("127.0.0.1", PortOf(listener.Get())));

    IKivSocket* accepted = nullptr;
    SOCKADDR_IN from{};
    int length = sizeof from;
    ASSERT_TRUE(listener->Accept(&accepted, reinterpret_cast<SOCKADDR*>(&from), &length));
    OwnedSocket server{CComPtr<IKivSocket>(accepted)};
    accepted->Release();
    EXPECT_EQ(length, static_cast<int>(sizeof from));
    EXPECT_EQ(from.sin_family, Sock::AF_INET);
    EXPECT_EQ(from.sin_addr.s_addr, Sock::inet_addr("127.0.0.1"));
    EXPECT_EQ(Sock::ntohs(from.sin_port), PortOf(client.Get()));

    const std::string message = "hello over loopback";
    ASSERT_EQ(client->Send(message.data(), static_cast<int>(message.size()), 0), static_cast<int>(message.size()));
    const std::string echoed = Receive(server.Get(), static_cast<int>(message.size()));
    ASSERT_EQ(echoed, message);
    ASSERT_EQ(server->Send(echoed.data(), static_cast<int>(echoed.size()), 0), static_cast<int>(echoed.size()));
    EXPECT_EQ(Receive(client.Get(), static_cast<int>(message.size())), message);

    // The three interfaces are one object.
    CComPtr<IKivSocketCtrl> ctrl = Ctrl(client.Get());
    CComPtr<IKivSocket> back;
    ASSERT_EQ(ctrl->QueryInterface(IID_PPV_ARGS(&back)), S_OK);
    EXPECT_EQ(back.Get(), client.Get());
    CComPtr<IUnknown> fromPart;
    CComPtr<IUnknown> fromSocket;
    ASSERT_EQ(Basic(client.Get())->QueryInterface(IID_PPV_ARGS(&fromPart)), S_OK);
    ASSERT_EQ(client->QueryInterface(IID_PPV_ARGS(&fromSocket)), S_OK);
    EXPECT_EQ(fromPart.Get(), fromSocket.Get());
}

TEST_F(SocketTest, UdpSendAndReceive)
{
    OwnedSocket receiver(Util()->CreateUdpSocket());
    OwnedSocket sender(Util()->CreateUdpSocket());
    const SOCKADDR_IN any = Loopback(0);
    ASSERT_TRUE(receiver->Bind(AsAddress(any), sizeof any));
    ASSERT_TRUE(sender->Bind(AsAddress(any), sizeof any));

    const SOCKADDR_IN to = Loopback(PortOf(receiver.Get()));
    const std::string datagram = "one datagram";
    ASSERT_EQ(sender->SendTo(datagram.data(), static_cast<int>(datagram.size()), 0, AsAddress(to), sizeof to),
              static_cast<int>(datagram.size()));

    char buffer[64] = {};
    SOCKADDR_IN from{};
    int length = sizeof from;
    ASSERT_TRUE(receiver->WaitForRead(10000));
    const int got = receiver->RecvFrom(buffer, sizeof buffer, 0, reinterpret_cast<SOCKADDR*>(&from), &length);
    ASSERT_EQ(got, static_cast<int>(datagram.size()));
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), datagram);
    EXPECT_EQ(Sock::ntohs(from.sin_port), PortOf(sender.Get()));
    EXPECT_EQ(from.sin_addr.s_addr, Sock::inet_addr("127.0.0.1"));
}

TEST_F(SocketTest, WaitForReadPollsAndHoldsItsLimit)
{
    OwnedSocket listener = Listener();
    Connection connection = Connect(listener.Get());

    EXPECT_FALSE(connection.server->WaitForRead(0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.server->WaitForRead(1500));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));

    ASSERT_EQ(connection.client->Send("x", 1, 0), 1);
    ASSERT_TRUE(connection.server->WaitForRead(10000));
    EXPECT_TRUE(connection.server->WaitForRead(0));
    // A pending connection makes a listener readable too.
    OwnedSocket second(Util()->CreateTcpSocket());
    ASSERT_TRUE(second->ConnectTo("127.0.0.1", PortOf(listener.Get())));
    EXPECT_TRUE(listener->WaitForRead(10000));
}

TEST_F(SocketTest, DetachKeepsTheDescriptorOpenForItsNewOwner)
{
    OwnedSocket listener = Listener();
    Connection connection = Connect(listener.Get());

    SOCKET handle = 0;
    {
        CComPtr<IKivSocket> server(connection.server.Get());
        handle = Basic(server)->Detach();
        EXPECT_EQ(Basic(server)->Detach(), 0u);
    }
    ASSERT_NE(handle, 0u);
    // The object that gave the handle away may go; the handle lives on in a new one.
    OwnedSocket adopted(Util()->CreateSocket());
    Basic(adopted.Get())->Attach(handle);

    ASSERT_EQ(connection.client->Send("still open", 10, 0), 10);
    EXPECT_EQ(Receive(adopted.Get(), 10), "still open");
}

TEST_F(SocketTest, WithoutAHandleNothingReachesThePlatform)
{
    CComPtr<IKivSocket> socket(Util()->CreateSocket());
    ASSERT_TRUE(socket);
    const SOCKADDR_IN any = Loopback(0);
    IKivSocket* accepted = nullptr;
    SOCKADDR_IN from{};
    int length = sizeof from;

    Sock::WSASetLastError(12345);
    EXPECT_FALSE(socket->Connect(AsAddress(any), sizeof any));
    EXPECT_FALSE(socket->ConnectTo("127.0.0.1", 1));
    EXPECT_FALSE(socket->Bind(AsAddress(any), sizeof any));
    EXPECT_FALSE(socket->Listen(1));
    EXPECT_FALSE(socket->Accept(&accepted, reinterpret_cast<SOCKADDR*>(&from), &length));
    Basic(socket)->Close();
    EXPECT_EQ(Sock::WSAGetLastError(), 12345);
    EXPECT_EQ(Basic(socket)->Detach(), 0u);
    EXPECT_EQ(accepted, nullptr);

    // The transfers hand the platform's answer on: no socket.
    char buffer[4];
    EXPECT_EQ(socket->Recv(buffer, sizeof buffer, 0), Sock::SOCKET_ERROR);
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAENOTSOCK);
    EXPECT_FALSE(socket->WaitForRead(0));
}

TEST_F(SocketTest, AcceptWantsEveryArgument)
{
    OwnedSocket listener = Listener();
    OwnedSocket client(Util()->CreateTcpSocket());
    ASSERT_TRUE(client->ConnectTo("127.0.0.1", PortOf(listener.Get())));
    IKivSocket* accepted = nullptr;
    SOCKADDR_IN from{};
    int length = sizeof from;
    EXPECT_FALSE(listener->Accept(nullptr, reinterpret_cast<SOCKADDR*>(&from), &length));
    EXPECT_FALSE(listener->Accept(&accepted, nullptr, &length));
    EXPECT_FALSE(listener->Accept(&accepted, reinterpret_cast<SOCKADDR*>(&from), nullptr));
    // The connection is still there for a complete call.
    ASSERT_TRUE(listener->Accept(&accepted, reinterpret_cast<SOCKADDR*>(&from), &length));
    OwnedSocket server{CComPtr<IKivSocket>(accepted)};
    accepted->Release();
}

TEST_F(SocketTest, StartupAndCleanupPair)
{
    WSADATA data{};
    ASSERT_TRUE(Util()->Startup(Sock::MAKEWORD(2, 2), &data));
    EXPECT_EQ(data.wVersion, Sock::MAKEWORD(2, 2));
    EXPECT_EQ(data.wHighVersion, Sock::MAKEWORD(2, 2));
    EXPECT_FALSE(Util()->Startup(Sock::MAKEWORD(0, 0), &data));
    EXPECT_FALSE(Util()->Startup(Sock::MAKEWORD(2, 2), nullptr));
    EXPECT_EQ(Util()->Cleanup(), 0);
    EXPECT_EQ(Util()->Cleanup(), 0); // the fixture's

    // Without a started library no socket is made, and one Cleanup too many says so.
    EXPECT_EQ(Util()->Cleanup(), Sock::SOCKET_ERROR);
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSANOTINITIALISED);
    CComPtr<IKivSocket> socket(Util()->CreateTcpSocket());
    ASSERT_TRUE(socket);
    EXPECT_EQ(Basic(socket)->Detach(), 0u);
    EXPECT_EQ(Basic(socket)->Create(Sock::AF_INET, Sock::SOCK_STREAM, Sock::IPPROTO_TCP), E_FAIL);

    ASSERT_TRUE(Util()->Startup(Sock::MAKEWORD(2, 2), &data)); // for the fixture's Cleanup
}

TEST_F(SocketTest, OptionsAndIoControl)
{
    OwnedSocket listener = Listener();
    Connection connection = Connect(listener.Get());
    CComPtr<IKivSocketCtrl> ctrl = Ctrl(connection.server.Get());

    const int on = 1;
    ASSERT_TRUE(ctrl->SetOption(Sock::SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on));
    int value = 0;
    int length = sizeof value;
    ASSERT_TRUE(ctrl->GetOption(Sock::SO_KEEPALIVE, reinterpret_cast<char*>(&value), &length));
    EXPECT_EQ(value, 1);
    length = sizeof value;
    ASSERT_TRUE(ctrl->GetOption(Sock::SO_TYPE, reinterpret_cast<char*>(&value), &length));
    EXPECT_EQ(value, Sock::SOCK_STREAM);

    // Time limits are milliseconds (a whole number of clock ticks at any tick rate, as the
    // system keeps them in ticks).
    const DWORD limit = 3000;
    ASSERT_TRUE(ctrl->SetOption(Sock::SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit));
    DWORD readBack = 0;
    length = sizeof readBack;
    ASSERT_TRUE(ctrl->GetOption(Sock::SO_RCVTIMEO, reinterpret_cast<char*>(&readBack), &length));
    EXPECT_EQ(readBack, limit);

    EXPECT_FALSE(ctrl->SetOption(0x7777, reinterpret_cast<const char*>(&on), sizeof on));
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAENOPROTOOPT);
    EXPECT_FALSE(ctrl->SetOption(Sock::SO_KEEPALIVE, reinterpret_cast<const char*>(&on), 1));
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEFAULT);

    // Non-blocking: a receive with nothing there says "would block".
    ULONG nonBlocking = 1;
    ASSERT_TRUE(ctrl->IoControl(Sock::FIONBIO, &nonBlocking));
    char buffer[16];
    EXPECT_EQ(connection.server->Recv(buffer, sizeof buffer, 0), Sock::SOCKET_ERROR);
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEWOULDBLOCK);

    ASSERT_EQ(connection.client->Send("12345", 5, 0), 5);
    ASSERT_TRUE(connection.server->WaitForRead(10000));
    ULONG waiting = 0;
    ASSERT_TRUE(ctrl->IoControl(Sock::FIONREAD, &waiting));
    EXPECT_EQ(waiting, 5u);
    EXPECT_FALSE(ctrl->IoControl(0x1234, &waiting));
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEINVAL);
}

TEST_F(SocketTest, TextThatIsNotAnAddressConnectsToInaddrNone)
{
    EXPECT_EQ(Sock::inet_addr("not an address"), Sock::INADDR_NONE);
    EXPECT_EQ(Sock::inet_addr("127.0.0.1"), Sock::htonl(0x7F000001));

    // A datagram socket allowed to broadcast connects to 255.255.255.255 without sending
    // anything, so its peer shows the address that reached the platform.
    OwnedSocket socket(Util()->CreateUdpSocket());
    const int on = 1;
    ASSERT_TRUE(Ctrl(socket.Get())->SetOption(Sock::SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on));
    if (!socket->ConnectTo("not an address", 9)) {
        // Some machines have no route for broadcasts at all; the error then must be that.
        EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAENETUNREACH);
        return;
    }
    CComPtr<IKivSocketBasicOperation> basic = Basic(socket.Get());
    const SOCKET handle = basic->Detach();
    SOCKADDR_IN peer{};
    int length = sizeof peer;
    ASSERT_EQ(Sock::getpeername(handle, reinterpret_cast<SOCKADDR*>(&peer), &length), 0);
    basic->Attach(handle);
    EXPECT_EQ(peer.sin_addr.s_addr, Sock::INADDR_NONE);
    EXPECT_EQ(Sock::ntohs(peer.sin_port), 9);
}

TEST_F(SocketTest, RefusedConnectionAndPortInUse)
{
    // A port that was bound and let go again: nobody listens there.
    USHORT freePort = 0;
    {
        OwnedSocket probe(Util()->CreateTcpSocket());
        const SOCKADDR_IN any = Loopback(0);
        ASSERT_TRUE(probe->Bind(AsAddress(any), sizeof any));
        freePort = PortOf(probe.Get());
    }
    OwnedSocket client(Util()->CreateTcpSocket());
    EXPECT_FALSE(client->ConnectTo("127.0.0.1", freePort));
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAECONNREFUSED);

    OwnedSocket listener = Listener();
    OwnedSocket second(Util()->CreateTcpSocket());
    const SOCKADDR_IN taken = Loopback(PortOf(listener.Get()));
    EXPECT_FALSE(second->Bind(AsAddress(taken), sizeof taken));
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEADDRINUSE);
    // Addresses shorter than an IPv4 record are refused before they reach the system.
    EXPECT_FALSE(second->Bind(AsAddress(taken), 8));
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEFAULT);
}

TEST_F(SocketTest, ClosedPeerIsAnErrorNotASignal)
{
    OwnedSocket listener = Listener();
    Connection connection = Connect(listener.Get());
    Basic(connection.server.Get())->Close();

    char buffer[16];
    EXPECT_EQ(connection.client->Recv(buffer, sizeof buffer, 0), 0); // orderly close
    // The first send may still be taken; the reset that answers it makes the next ones fail.
    // Were the pipe signal not held back, the process would end here.
    const std::string block(4096, 'x');
    int result = 0;
    for (int attempt = 0; attempt < 100 && result != Sock::SOCKET_ERROR; ++attempt) {
        result = connection.client->Send(block.data(), static_cast<int>(block.size()), 0);
        if (result != Sock::SOCKET_ERROR) {
            connection.client->WaitForRead(100);
        }
    }
    ASSERT_EQ(result, Sock::SOCKET_ERROR);
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAECONNRESET);
}

TEST_F(SocketTest, ReceiveLengths)
{
    OwnedSocket listener = Listener();
    Connection connection = Connect(listener.Get());
    ASSERT_EQ(connection.client->Send("abcde", 5, 0), 5);
    ASSERT_TRUE(connection.server->WaitForRead(10000));

    char buffer[64] = {};
    struct Case {
        const char* name;
        char* buffer;
        int length;
    };
    const Case refused[] = {{"negative", buffer, -1}, {"most negative", buffer, INT_MIN}, {"no buffer", nullptr, 16}};
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(connection.server->Recv(c.buffer, c.length, 0), Sock::SOCKET_ERROR);
        EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEFAULT);
        EXPECT_EQ(connection.server->Send(c.buffer, c.length, 0), Sock::SOCKET_ERROR);
    }
    // A length far beyond what is there gives what is there. The system only checks that the
    // claimed range lies inside the address space, so the buffer is on the heap, far below its
    // end (a stack buffer near the top could fail that check).
    std::vector<char> heap(64);
    EXPECT_EQ(connection.server->Recv(heap.data(), INT_MAX, Sock::MSG_PEEK), 5);
    EXPECT_EQ(connection.server->Recv(heap.data(), INT_MAX, 0), 5);
    EXPECT_EQ(std::string(heap.data(), 5), "abcde");
    EXPECT_EQ(connection.server->Recv(buffer, 4, 0x4000), Sock::SOCKET_ERROR);
    EXPECT_EQ(Sock::WSAGetLastError(), Sock::WSAEOPNOTSUPP);
}

// Signals for the interruption test: a handler that does nothing, installed without restarting
// system calls, so that every blocking call sees EINTR.
void IgnoreSignal(int) {}

TEST_F(SocketTest, InterruptedCallsAreRetried)
{
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    OwnedSocket listener = Listener();
    Connection connection = Connect(listener.Get());

    std::atomic<bool> waited{false};
    std::atomic<int> received{0};
    std::thread reader([&] {
        waited = connection.server->WaitForRead(60000) != FALSE;
        char buffer[8] = {};
        received = connection.server->Recv(buffer, 1, 0) == 1 ? 1 : 0;
        // A second, blocking receive, interrupted as well.
        received += connection.server->Recv(buffer, 1, 0) == 1 ? 1 : 0;
    });
    const pthread_t thread = reader.native_handle();
    const auto interrupt = [&] {
        for (int i = 0; i < 10; ++i) {
            pthread_kill(thread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    interrupt();
    ASSERT_EQ(connection.client->Send("a", 1, 0), 1);
    interrupt();
    ASSERT_EQ(connection.client->Send("b", 1, 0), 1);
    reader.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_TRUE(waited);
    EXPECT_EQ(received, 2);
}

TEST_F(SocketTest, DescriptorZeroIsNeverASocket)
{
    // With standard input closed the system hands out descriptor 0 next.
    const int savedInput = ::dup(0);
    ASSERT_GE(savedInput, 0);
    ::close(0);
    CComPtr<IKivSocket> first(Util()->CreateTcpSocket());
    CComPtr<IKivSocket> second(Util()->CreateUdpSocket());
    const SOCKET firstHandle = Basic(first)->Detach();
    const SOCKET secondHandle = Basic(second)->Detach();
    ::dup2(savedInput, 0);
    ::close(savedInput);

    EXPECT_NE(firstHandle, 0u);
    EXPECT_NE(firstHandle, Sock::INVALID_SOCKET);
    EXPECT_NE(secondHandle, 0u);
    EXPECT_NE(secondHandle, Sock::INVALID_SOCKET);
    Sock::closesocket(firstHandle);
    Sock::closesocket(secondHandle);
}

} // namespace
