// Sockets and the registry when memory runs out: every allocation of an operation fails in turn.
// The operation reports it (null, FALSE or a failing status), never crashes, leaks no
// connection, and leaves the store as it was or as it was asked to become.
#include "KivCommon/KivCommon.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include "KivTestSupport/FailingAllocations.h"
#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace Kiv;
namespace Sock = Kiv::Platform;

// Enough for every operation below: the loops end at the first run that succeeds.
constexpr long MostAllocations = 200;

TEST(ServicesMemoryTest, SocketObjectsAreWholeOrNone)
{
    WSADATA data{};
    ASSERT_TRUE(GetKivSocketUtil()->Startup(Sock::MAKEWORD(2, 2), &data));
    for (long allowed = 0; allowed < MostAllocations; ++allowed) {
        long failed = 0;
        CComPtr<IKivSocket> socket;
        {
            KivTest::CFailingAllocations failing(allowed, failed);
            socket = GetKivSocketUtil()->CreateTcpSocket();
        }
        if (!socket) {
            ASSERT_GT(failed, 0);
            continue;
        }
        CComPtr<IKivSocketCtrl> ctrl;
        CComPtr<IKivSocketBasicOperation> basic;
        EXPECT_EQ(socket.QueryInterface(&ctrl), S_OK);
        ASSERT_EQ(socket.QueryInterface(&basic), S_OK);
        EXPECT_NE(basic->Detach(), 0u);
        break;
    }
    EXPECT_EQ(GetKivSocketUtil()->Cleanup(), 0);
}

TEST(ServicesMemoryTest, AnAcceptThatCannotWrapTheConnectionClosesIt)
{
    WSADATA data{};
    ASSERT_TRUE(GetKivSocketUtil()->Startup(Sock::MAKEWORD(2, 2), &data));
    CComPtr<IKivSocket> listener(GetKivSocketUtil()->CreateTcpSocket());
    SOCKADDR_IN address{};
    address.sin_family = Sock::AF_INET;
    address.sin_addr.s_addr = Sock::inet_addr("127.0.0.1");
    ASSERT_TRUE(listener->Bind(reinterpret_cast<const SOCKADDR*>(&address), sizeof address));
    ASSERT_TRUE(listener->Listen(4));
    CComPtr<IKivSocketBasicOperation> listenerBasic;
    ASSERT_EQ(listener.QueryInterface(&listenerBasic), S_OK);
    SOCKADDR_IN bound{};
    int length = sizeof bound;
    const SOCKET listening = listenerBasic->Detach();
    ASSERT_EQ(Sock::getsockname(listening, reinterpret_cast<SOCKADDR*>(&bound), &length), 0);
    listenerBasic->Attach(listening);

    bool accepted = false;
    for (long allowed = 0; allowed < MostAllocations && !accepted; ++allowed) {
        CComPtr<IKivSocket> client(GetKivSocketUtil()->CreateTcpSocket());
        ASSERT_TRUE(client->Connect(reinterpret_cast<const SOCKADDR*>(&bound), sizeof bound));
        IKivSocket* connection = nullptr;
        SOCKADDR_IN from{};
        int fromLength = sizeof from;
        long failed = 0;
        {
            KivTest::CFailingAllocations failing(allowed, failed);
            accepted = listener->Accept(&connection, reinterpret_cast<SOCKADDR*>(&from), &fromLength) != FALSE;
        }
        char byte = 0;
        if (accepted) {
            ASSERT_NE(connection, nullptr);
            CComPtr<IKivSocket> server;
            server.Attach(connection);
            ASSERT_EQ(server->Send("k", 1, 0), 1);
            EXPECT_EQ(client->Recv(&byte, 1, 0), 1);
            CComPtr<IKivSocketBasicOperation> serverBasic;
            ASSERT_EQ(server.QueryInterface(&serverBasic), S_OK);
            serverBasic->Close();
        } else {
            // The connection was taken and, with no object to hold it, closed: the client sees
            // the end instead of waiting for ever.
            EXPECT_GT(failed, 0);
            EXPECT_EQ(connection, nullptr);
            ASSERT_TRUE(client->WaitForRead(10000));
            EXPECT_EQ(client->Recv(&byte, 1, 0), 0);
        }
        CComPtr<IKivSocketBasicOperation> clientBasic;
        ASSERT_EQ(client.QueryInterface(&clientBasic), S_OK);
        clientBasic->Close();
    }
    EXPECT_TRUE(accepted);
    listenerBasic->Close();
    EXPECT_EQ(GetKivSocketUtil()->Cleanup(), 0);
}

TEST(ServicesMemoryTest, RegistryWritesAreWholeOrNone)
{
    KivTest::TempDir folder;
    ASSERT_EQ(::setenv(Sock::RegistryDirVariable, folder.Path().c_str(), 1), 0);
    CComPtr<IRegKey> key(GetRegistryUtil()->OpenKey(HKEY_CURRENT_USER, u"", KEY_ALL_ACCESS));
    ASSERT_NE(key->GetHandle(), nullptr);
    CComPtr<IRegValue> value;
    ASSERT_EQ(key->GetValue(u"Name", &value), S_OK);
    ASSERT_EQ(value->SetString(u"old"), S_OK);

    bool written = false;
    for (long allowed = 0; allowed < MostAllocations && !written; ++allowed) {
        long failed = 0;
        HRESULT created = S_OK;
        HRESULT set = S_OK;
        {
            KivTest::CFailingAllocations failing(allowed, failed);
            CComPtr<IRegKey> sub;
            created = key->CreateSubKey(u"Sub\\Deeper", &sub, REG_OPTION_NON_VOLATILE);
            if (sub) {
                sub->Close();
            }
            CComPtr<IRegValue> fresh;
            set = key->GetValue(u"Name", &fresh);
            if (SUCCEEDED(set)) {
                set = fresh->SetString(u"new");
            }
        }
        written = created == S_OK && set == S_OK;
        // Whatever failed, the value is one of the two whole strings.
        CComBSTR text;
        ASSERT_EQ(value->GetString(&text), S_OK);
        EXPECT_TRUE(text.View() == u"old" || text.View() == u"new") << allowed;
        if (!written) {
            EXPECT_GT(failed, 0);
        }
    }
    EXPECT_TRUE(written);
    CComPtr<IRegKey> deeper;
    EXPECT_EQ(key->OpenSubKey(u"Sub\\Deeper", &deeper), S_OK);
    if (deeper) {
        deeper->Close();
    }
    key->Close();
    ::unsetenv(Sock::RegistryDirVariable);
}

} // namespace
