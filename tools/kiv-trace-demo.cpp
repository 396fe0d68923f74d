// kiv-trace-demo --settings FILE: a small traced program. Several threads call nested traced
// methods of a few classes in two namespaces, write messages, and one thread leaves calls
// unreturned when the program ends, so its trace shows what real traces show. Where the trace
// goes (and whether anything is traced) is decided by the settings file.
#include "KivLog/TraceScope.h"

#include "KivPlatform/ModulePath.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

Kiv::Log::CModuleLog* g_log = nullptr;

Kiv::Log::CModuleLog& DemoLog()
{
    return *g_log;
}

constexpr LONG Level = 10;

#define DEMO_SCOPE(subject, ...) KIV_TRACE_SCOPE(DemoLog(), subject, Level, __VA_ARGS__)
#define DEMO_TRACE(subject, ...) KIV_TRACE(DemoLog(), subject, Level, __VA_ARGS__)

} // namespace

namespace Demo::Net {

class CHttpClient {
public:
    HRESULT Connect(int server)
    {
        HRESULT hr = E_FAIL;
        DEMO_SCOPE(u"CHttpClient", u"Demo::Net::CHttpClient::Connect", &hr);
        DEMO_TRACE(u"CHttpClient", u"server = %d", server);
        hr = server % 4 == 3 ? HRESULT_FROM_WIN32(10061) : S_OK; // every fourth server refuses
        return hr;
    }

    HRESULT Get(int server, int page)
    {
        HRESULT hr = E_FAIL;
        DEMO_SCOPE(u"CHttpClient", u"Demo::Net::CHttpClient::Get", &hr);
        if (hr = Connect(server); FAILED(hr)) {
            DEMO_TRACE(u"CHttpClient", u"接続できませんでした (0x%08X)", static_cast<unsigned>(hr));
            return hr;
        }
        DEMO_TRACE(u"CHttpClient", u"GET /page/%d", page);
        hr = page % 5 == 0 ? S_FALSE : S_OK;
        return hr;
    }
};

} // namespace Demo::Net

namespace Demo::Store {

class CCache {
public:
    bool Lookup(int key)
    {
        bool found = false;
        DEMO_SCOPE(u"CCache", u"Demo::Store::CCache::Lookup", &found);
        found = key % 3 == 0;
        return found;
    }

    void Insert(int key)
    {
        DEMO_SCOPE(u"CCache", u"Demo::Store::CCache::Insert");
        DEMO_TRACE(u"CCache", u"キャッシュに追加しました: key = %d", key);
    }

    HRESULT Fetch(Net::CHttpClient& client, int worker, int key)
    {
        HRESULT hr = E_FAIL;
        DEMO_SCOPE(u"CCache", u"Demo::Store::CCache::Fetch", &hr);
        if (Lookup(key)) {
            hr = S_OK;
            return hr;
        }
        hr = client.Get(worker + key, key);
        if (SUCCEEDED(hr)) {
            Insert(key);
        }
        return hr;
    }

    // Waits for a release that never comes: the calls on the way here never return.
    void FlushForever(std::condition_variable& never, std::mutex& mutex)
    {
        DEMO_SCOPE(u"CCache", u"Demo::Store::CCache::FlushForever");
        DEMO_TRACE(u"CCache", u"waiting for the disk");
        std::unique_lock lock(mutex);
        never.wait(lock, [] { return false; });
    }
};

} // namespace Demo::Store

namespace {

HRESULT Worker(int worker, int calls)
{
    HRESULT hr = E_FAIL;
    DEMO_SCOPE(u"Worker", u"Demo::Worker", &hr);
    Demo::Net::CHttpClient client;
    Demo::Store::CCache cache;
    int failures = 0;
    for (int key = 0; key < calls; ++key) {
        failures += FAILED(cache.Fetch(client, worker, key)) ? 1 : 0;
    }
    DEMO_TRACE(u"Worker", u"%d of %d fetches failed", failures, calls);
    hr = failures == 0 ? S_OK : S_FALSE;
    return hr;
}

void Stuck(std::condition_variable& never, std::mutex& mutex)
{
    DEMO_SCOPE(u"Worker", u"Demo::Stuck");
    Demo::Store::CCache cache;
    cache.Insert(99);
    cache.FlushForever(never, mutex);
}

void PrintUsage(std::FILE* out)
{
    std::fputs("usage: kiv-trace-demo --settings FILE [--threads N] [--calls N]\n"
               "Runs N worker threads (default 3) that each make N traced fetches (default 12), plus\n"
               "one thread whose calls never return, tracing as the settings file says.\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    const char* settings = nullptr;
    int threads = 3;
    int calls = 12;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            PrintUsage(stdout);
            return 0;
        }
        if (i + 1 < argc && std::strcmp(argv[i], "--settings") == 0) {
            settings = argv[++i];
        } else if (i + 1 < argc && std::strcmp(argv[i], "--threads") == 0) {
            threads = std::atoi(argv[++i]);
        } else if (i + 1 < argc && std::strcmp(argv[i], "--calls") == 0) {
            calls = std::atoi(argv[++i]);
        } else {
            PrintUsage(stderr);
            return 2;
        }
    }
    if (settings == nullptr || threads < 1 || calls < 1) {
        PrintUsage(stderr);
        return 2;
    }
    g_log = Kiv::Log::StartModuleLog(u"KivTraceDemo", Kiv::Platform::FromSystemPath(settings), u"").release();
    if (!g_log->IsEnabled()) {
        std::fprintf(stderr, "kiv-trace-demo: %s enables no tracing (missing, unreadable or without filters)\n",
                     settings);
    }

    std::condition_variable never;
    std::mutex mutex;
    std::thread(Stuck, std::ref(never), std::ref(mutex)).detach();
    std::vector<std::thread> workers;
    for (int worker = 0; worker < threads; ++worker) {
        workers.emplace_back(Worker, worker, calls);
    }
    for (auto& worker : workers) {
        worker.join();
    }
    // Ends with the stuck thread still inside its calls; every line is already in the file.
    std::fflush(stdout);
    std::_Exit(0);
}
