// One real exchange: a request built here goes over a plain socket to a local HTTP server that
// the test starts on 127.0.0.1 (Python's http.server, serving one request from a temporary
// folder and then ending; it also ends by itself after a minute), and the response is parsed
// here. No other network use.
#include "HttpTestSupport.h"

#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace Kiv;
using namespace KivHttpTest;

namespace {

constexpr const char* ServerScript = R"(import functools, http.server, os, signal, sys
signal.alarm(60)
folder, port_file = sys.argv[1], sys.argv[2]
class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=folder))
server.timeout = 60
with open(port_file + ".part", "w") as out:
    out.write(str(server.server_address[1]))
os.rename(port_file + ".part", port_file)
server.handle_request()
server.server_close()
)";

// The server process: started with the folder it serves, waited for when the test ends.
class CLocalServer {
public:
    explicit CLocalServer(const KivTest::TempDir& dir)
    {
        const std::string script = dir.WriteFile("server.py", ServerScript).string();
        const std::string folder = (dir.Path() / "www").string();
        const std::string portFile = (dir.Path() / "port").string();
        const char* argv[] = {"python3", script.c_str(), folder.c_str(), portFile.c_str(), nullptr};
        if (posix_spawnp(&m_pid, "python3", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            m_pid = -1;
            return;
        }
        // The port file appears once the server listens; a bound on the wait keeps a broken
        // start from hanging the test.
        for (int i = 0; i < 600 && !std::filesystem::exists(portFile); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::ifstream(portFile) >> m_port;
    }
    ~CLocalServer()
    {
        if (m_pid > 0) {
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// Sends the bytes and reads until the server closes the connection.
std::string Exchange(int port, const BYTE* request, DWORD size)
{
    const int socketHandle = socket(AF_INET, SOCK_STREAM, 0);
    if (socketHandle < 0) {
        return {};
    }
    timeval timeout{30, 0};
    setsockopt(socketHandle, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    if (connect(socketHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(socketHandle, request, size, 0) == static_cast<ssize_t>(size)) {
        char chunk[4096];
        ssize_t received = 0;
        while ((received = recv(socketHandle, chunk, sizeof chunk, 0)) > 0) {
            response.append(chunk, static_cast<std::size_t>(received));
        }
    }
    close(socketHandle);
    return response;
}

std::string HeaderValue(IKivHttpResData* response, const char* name)
{
    CComPtr<IKivHeaderLine> line;
    if (FAILED(response->FindHeaderLine(Bstr(name), &line))) {
        return "<missing>";
    }
    const std::vector<std::string> pieces = Pieces(line);
    return pieces.size() == 1 ? pieces[0] : "<not one value>";
}

TEST(HttpRoundTripTest, RequestBuiltHereIsAnsweredByALocalServer)
{
    KivTest::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "www");
    const std::string content = "Hello from the local server.\nSecond line.\n";
    dir.WriteFile("www/hello.txt", content);
    CLocalServer server(dir);
    ASSERT_GT(server.Port(), 0) << "the local server did not start";

    const CComPtr<IKivHttpReqData> request(GetHttpUtil()->CreateHttpReqData());
    const CComPtr<IKivStatusLineEx> line(GetHttpUtil()->CreateStatusLineEx());
    ASSERT_EQ(line->CreateStatusLine(Bstr("GET"), Bstr("/hello.txt"), Bstr("HTTP/1.0")), S_OK);
    ASSERT_EQ(request->SetStatusLine(line), S_OK);
    ASSERT_EQ(request->InsertHeaderLine(NewHeader("Host", ("127.0.0.1:" + std::to_string(server.Port())).c_str())), S_OK);
    ASSERT_EQ(request->InsertHeaderLine(NewHeader("Accept", "text/plain")), S_OK);
    const CComPtr<IKivMemory> memory(GetMemoryUtil()->CreateMemory_CRT());
    ASSERT_EQ(request->BuildRequestBuffer(memory), S_OK);

    const std::string received = Exchange(server.Port(), memory->GetPtr(), memory->GetSize());
    const CExactBytes bytes(received);
    const CComPtr<IKivHttpResData> response(GetHttpUtil()->CreateHttpResData());
    ASSERT_EQ(response->SelectBuffer(bytes.Data(), bytes.Size()), S_OK) << received;

    CComPtr<IKivStatusLine> status;
    ASSERT_EQ(response->GetStatusLine(&status), S_OK);
    CComPtr<IKivDataMarker> code;
    ASSERT_EQ(status->GetParam(1, &code), S_OK);
    EXPECT_EQ(Text(code), "200");
    EXPECT_EQ(HeaderValue(response, "Content-Length"), std::to_string(content.size()));
    EXPECT_EQ(HeaderValue(response, "Content-type"), "text/plain");
    const BYTE* body = nullptr;
    LONG size = 0;
    ASSERT_EQ(response->GetBodyPtr(&body, &size), S_OK);
    EXPECT_EQ(Text(body, size), content);
}

} // namespace
