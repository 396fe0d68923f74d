// kivlog: trace files as the engine sees them, on the command line. It uses only the engine's
// export, as the viewer does.
//   kivlog dump FILE...     the whole model of each file, in a fixed text form
//   kivlog summary FILE...  one line per file: threads, items, methods, unreturned calls
#include "TextEscape.h"

#include "KivLogSysMgr/KivLogSysMgr.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Console.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/TaskMem.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Threading.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Kiv::CComBSTR;
using Kiv::CComPtr;

namespace {

// Standard output through one large buffer: a dump of a big trace is many millions of lines.
class Output {
public:
    ~Output() { Flush(); }
    Output& operator<<(std::string_view text)
    {
        m_buffer.append(text);
        if (m_buffer.size() >= (1u << 20)) {
            Flush();
        }
        return *this;
    }
    Output& operator<<(long long number) { return *this << std::string_view(std::to_string(number)); }
    void Flush()
    {
        std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
        m_buffer.clear();
    }

private:
    std::string m_buffer;
};

std::string Hex8(DWORD value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string Quoted(const KivLogSysLineInfo* info)
{
    if (info->text == nullptr || info->textLength <= 0) {
        return "\"\"";
    }
    return KivTools::QuoteAnsiText({info->text, static_cast<std::size_t>(info->textLength)});
}

std::string Quoted(const CComBSTR& text)
{
    return KivTools::QuoteUtf8Text(Kiv::Platform::Utf16ToUtf8(text.View()));
}

// Receives a load's reports on the worker thread: draws a progress bar on standard error when
// that is a terminal, and tells the waiting thread when the load has ended.
class CProgressSink : public IKivLogSysMgr_LoadProgress {
public:
    virtual ~CProgressSink() = default;

    void Start(const std::string& shownName, bool drawBar)
    {
        std::lock_guard lock(m_mutex);
        m_shownName = shownName;
        m_drawBar = drawBar;
        m_ended = false;
    }
    // Waits for the load's last report and gives its status: S_OK, or why the load failed.
    HRESULT WaitForEnd()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_ended; });
        return m_endStatus;
    }

    HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) override
    {
        std::lock_guard lock(m_mutex);
        if (m_drawBar) {
            if (kind == KivLogSysLoadProgress::Progress) {
                constexpr int Width = 30;
                const int filled = static_cast<int>(value) * Width / 100;
                std::fprintf(stderr, "\r[%s%s] %3ld%% %s", std::string(filled, '#').c_str(),
                             std::string(Width - filled, ' ').c_str(), static_cast<long>(value), m_shownName.c_str());
            } else if (kind == KivLogSysLoadProgress::Finished) {
                std::fputs("\r\033[K", stderr);
            }
            std::fflush(stderr);
        }
        if (kind == KivLogSysLoadProgress::Finished) {
            m_ended = true;
            m_endStatus = FAILED(value) ? value : S_OK;
            m_changed.notify_all();
        }
        return S_OK;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLogSysMgr_LoadProgress::Iid, this}}, riid, ppv);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_shownName;
    bool m_drawBar = false;
    bool m_ended = false;
    HRESULT m_endStatus = S_OK;
};

// One file's engine and its model. The engine stays alive while the model is read: the lines
// point into its copy of the file.
struct LoadedFile {
    CComPtr<IKivLogSysMgr> manager;
    CComPtr<IKivLogSysRoot> root;
};

// What kivlog says when a load runs out of memory.
constexpr const char* NoMemory = "could not be loaded for lack of memory";

// Loads a file on the engine's worker thread. On failure prints why to standard error, naming
// the file by shownName (the path quoted and escaped).
bool Load(const char* path, const std::string& shownName, LoadedFile& loaded)
{
    if (FAILED(CKivLogSysMgr::CreateLogSysMgr(&loaded.manager))) {
        std::fprintf(stderr, "kivlog: %s: the engine could not be created\n", shownName.c_str());
        return false;
    }
    CComPtr<Kiv::CKivObject<CProgressSink>> sink(Kiv::CKivObject<CProgressSink>::CreateObject());
    sink->Start(shownName, Kiv::Platform::StandardErrorIsTerminal());
    loaded.manager->SetLoadProgress(sink);
    const std::u16string widePath = Kiv::Platform::FromSystemPath(path);
    if (const HRESULT opened = loaded.manager->LoadLogFile(widePath.c_str(), 1); FAILED(opened)) {
        const std::string reason =
            opened == E_OUTOFMEMORY ? NoMemory : Kiv::Platform::DescribeUnreadableFile(widePath);
        std::fprintf(stderr, "kivlog: %s: %s\n", shownName.c_str(),
                     reason.empty() ? "holds no trace line" : reason.c_str());
        return false;
    }
    const HRESULT ended = sink->WaitForEnd();
    loaded.manager->WaitWorkThreads();
    loaded.manager->SetLoadProgress(nullptr);
    if (FAILED(ended)) {
        std::fprintf(stderr, "kivlog: %s: %s\n", shownName.c_str(),
                     ended == E_OUTOFMEMORY ? NoMemory : "could not be loaded");
        return false;
    }
    return SUCCEEDED(loaded.manager->GetRootObject(&loaded.root));
}

// Set when a call into the model ran out of memory: what was read from it is incomplete.
std::atomic<bool> g_modelOutOfMemory{false};

// SUCCEEDED for the status of a call into the model, noting a call that ran out of memory.
bool ModelCall(HRESULT hr)
{
    if (hr == E_OUTOFMEMORY) {
        g_modelOutOfMemory = true;
    }
    return SUCCEEDED(hr);
}

// The root's thread objects, in its order.
std::vector<CComPtr<IKivLogSysThread>> Threads(IKivLogSysRoot* root)
{
    std::vector<CComPtr<IKivLogSysThread>> threads;
    CComPtr<Kiv::IKivListItem> folder;
    LONG count = 0;
    if (!ModelCall(root->QueryInterface(IID_PPV_ARGS(&folder))) || !ModelCall(folder->GetChildCount(&count))) {
        return threads;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysThread> thread;
        if (ModelCall(folder->GetChildItem(i, IID_PPV_ARGS(&thread))) && thread) {
            threads.push_back(thread);
        }
    }
    return threads;
}

LONG ListItemCount(IKivLogSysThread* thread)
{
    CComPtr<Kiv::IKivListAccess> access;
    LONG count = 0;
    if (ModelCall(thread->QueryInterface(IID_PPV_ARGS(&access)))) {
        ModelCall(access->GetListItemCount(&count));
    }
    return count;
}

// Every method name in the method set's order; the names array is freed here.
std::vector<CComBSTR> MethodNames(IKivLogSysMethodSet* methodSet)
{
    LONG count = 0;
    BSTR* names = nullptr;
    std::vector<CComBSTR> result;
    if (!ModelCall(methodSet->GetMethodNames(&count, &names))) {
        return result;
    }
    for (LONG i = 0; i < count; ++i) {
        result.emplace_back();
        result.back().Attach(names[i]);
    }
    CoTaskMemFree(names);
    return result;
}

// The calls of a method, in its order.
std::vector<CComPtr<IKivLogSysBlock>> Calls(IKivLogSysMethodInfo* method)
{
    std::vector<CComPtr<IKivLogSysBlock>> calls;
    LONG count = 0;
    ModelCall(method->GetLineCount(&count));
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysBlock> call;
        if (ModelCall(method->GetLineInfo(i, IID_PPV_ARGS(&call))) && call) {
            calls.push_back(call);
        }
    }
    return calls;
}

void DumpLine(Output& out, const std::string& indent, char mark, const KivLogSysLineInfo* info)
{
    out << indent << std::string_view(&mark, 1) << " " << static_cast<long long>(info->lineNumber) << " "
        << static_cast<long long>(info->depth) << " " << Quoted(info) << "\n";
}

void DumpChildren(Output& out, Kiv::IKivListItem* folder, const std::string& indent)
{
    LONG count = 0;
    ModelCall(folder->GetChildCount(&count));
    for (LONG i = 0; i < count; ++i) {
        const KivLogSysLineInfo* info = nullptr;
        CComPtr<IKivLogSysBlock> block;
        if (ModelCall(folder->GetChildItem(i, IID_PPV_ARGS(&block))) && block) {
            ModelCall(block->GetLineInfo(&info));
            DumpLine(out, indent, '>', info);
            DumpChildren(out, block, indent + "  ");
            const KivLogSysLineInfo* end = nullptr;
            if (ModelCall(block->GetEndLineInfo(&end))) {
                DumpLine(out, indent, '<', end);
            }
            continue;
        }
        CComPtr<IKivLogSysLine> line;
        if (ModelCall(folder->GetChildItem(i, IID_PPV_ARGS(&line))) && line && ModelCall(line->GetLineInfo(&info))) {
            DumpLine(out, indent, '-', info);
        }
    }
}

void DumpNameSpaces(Output& out, Kiv::IKivListItem* node, const std::string& indent)
{
    LONG count = 0;
    ModelCall(node->GetChildCount(&count));
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysNameSpace> child;
        if (!ModelCall(node->GetChildItem(i, IID_PPV_ARGS(&child))) || !child) {
            continue;
        }
        CComBSTR name;
        ModelCall(child->GetName(&name));
        CComPtr<IKivLogSysMethodInfo> method;
        out << indent << Quoted(name) << (ModelCall(child->GetMethodInfo(&method)) ? " *" : "") << "\n";
        DumpNameSpaces(out, child, indent + "  ");
    }
}

DWORD ThreadIdOf(IKivLogSysBlock* call)
{
    CComPtr<IKivLogSysThread> thread;
    DWORD id = 0;
    if (ModelCall(call->GetThread(IID_PPV_ARGS(&thread))) && thread) {
        ModelCall(thread->GetThreadId(&id));
    }
    return id;
}

void Dump(Output& out, const std::string& shownName, IKivLogSysRoot* root)
{
    out << "file " << shownName << "\n";
    for (const auto& thread : Threads(root)) {
        DWORD id = 0;
        ModelCall(thread->GetThreadId(&id));
        out << "thread " << Hex8(id) << " items " << static_cast<long long>(ListItemCount(thread)) << "\n";
        CComPtr<Kiv::IKivListItem> folder;
        ModelCall(thread->QueryInterface(IID_PPV_ARGS(&folder)));
        DumpChildren(out, folder, "  ");
    }
    CComPtr<IKivLogSysMethodSet> methodSet;
    ModelCall(root->GetMethodSet(IID_PPV_ARGS(&methodSet)));
    const std::vector<CComBSTR> names = methodSet ? MethodNames(methodSet) : std::vector<CComBSTR>{};
    out << "methods " << static_cast<long long>(names.size()) << "\n";
    for (const CComBSTR& name : names) {
        CComPtr<IKivLogSysMethodInfo> method;
        ModelCall(methodSet->GetMethodInfo(name, IID_PPV_ARGS(&method)));
        if (!method) {
            continue;
        }
        LONG calls = 0;
        LONG threads = 0;
        ModelCall(method->GetLineCount(&calls));
        ModelCall(method->GetRefThreadCount(&threads));
        out << "method " << Quoted(name) << " calls " << static_cast<long long>(calls) << " threads "
            << static_cast<long long>(threads) << "\n";
        for (const auto& call : Calls(method)) {
            const KivLogSysLineInfo* entry = nullptr;
            const KivLogSysLineInfo* end = nullptr;
            ModelCall(call->GetLineInfo(&entry));
            out << "  call " << static_cast<long long>(entry->lineNumber) << " thread " << Hex8(ThreadIdOf(call))
                << " end ";
            if (ModelCall(call->GetEndLineInfo(&end))) {
                out << static_cast<long long>(end->lineNumber) << "\n";
            } else {
                out << "-\n";
            }
        }
    }
    out << "namespaces\n";
    CComPtr<IKivLogSysNameSpace> nameSpaceRoot;
    if (methodSet && ModelCall(methodSet->GetNameSpaceRoot(&nameSpaceRoot))) {
        DumpNameSpaces(out, nameSpaceRoot, "  ");
    }
}

// What the summary counts in a thread's call tree.
struct TreeCounts {
    long long items = 0;      // the lines of the thread's flat list
    long long unreturned = 0; // calls without a return line
};

// Counts a thread's tree in one walk: each child is one item, and a call adds its children and
// its return line when it has one, as the thread's flat list holds them. Every call the method
// index holds is a call of some thread's tree, so the calls without a return line are counted
// here too, without asking the index for each call. Iterative: damaged traces nest deep.
void CountTree(Kiv::IKivListItem* thread, TreeCounts& counts)
{
    struct Level {
        CComPtr<Kiv::IKivListItem> folder;
        LONG count;
        LONG next;
    };
    std::vector<Level> path;
    LONG count = 0;
    ModelCall(thread->GetChildCount(&count));
    path.push_back({CComPtr<Kiv::IKivListItem>(thread), count, 0});
    while (!path.empty()) {
        Level& level = path.back();
        if (level.next >= level.count) {
            path.pop_back();
            continue;
        }
        ++counts.items;
        CComPtr<IKivLogSysBlock> block;
        if (!ModelCall(level.folder->GetChildItem(level.next++, IID_PPV_ARGS(&block))) || !block) {
            continue; // a plain line
        }
        const KivLogSysLineInfo* end = nullptr;
        if (ModelCall(block->GetEndLineInfo(&end))) {
            ++counts.items;
        } else {
            ++counts.unreturned;
        }
        LONG children = 0;
        ModelCall(block->GetChildCount(&children));
        path.push_back({CComPtr<Kiv::IKivListItem>(block.Get()), children, 0});
    }
}

void Summary(Output& out, const std::string& shownName, IKivLogSysRoot* root)
{
    const auto threads = Threads(root);
    // The threads' trees and the method index are separate parts of the model, so they are
    // counted side by side.
    TreeCounts counts;
    // Runs on a thread of its own: the walk's lack of memory is noted like a model call's.
    auto countTrees = [&threads, &counts] {
        ModelCall(Kiv::Platform::StatusFromExceptions([&] {
            for (const auto& thread : threads) {
                CComPtr<Kiv::IKivListItem> folder;
                if (ModelCall(thread->QueryInterface(IID_PPV_ARGS(&folder)))) {
                    CountTree(folder, counts);
                }
            }
        }));
    };
    std::thread treeCounter;
    if (FAILED(Kiv::Platform::StartThread(treeCounter, countTrees))) {
        countTrees();
    }
    CComPtr<IKivLogSysMethodSet> methodSet;
    ModelCall(root->GetMethodSet(IID_PPV_ARGS(&methodSet)));
    const std::vector<CComBSTR> names = methodSet ? MethodNames(methodSet) : std::vector<CComBSTR>{};
    if (treeCounter.joinable()) {
        treeCounter.join();
    }
    if (g_modelOutOfMemory) {
        return; // the counts would be too small
    }
    // The unreturned calls are the method index's: without methods there are none.
    const long long unreturned = names.empty() ? 0 : counts.unreturned;
    out << "file " << shownName << " threads " << static_cast<long long>(threads.size()) << " items "
        << counts.items << " methods " << static_cast<long long>(names.size()) << " unreturned " << unreturned
        << "\n";
}

void PrintUsage(std::FILE* stream)
{
    std::fputs("usage: kivlog dump FILE...\n"
               "       kivlog summary FILE...\n"
               "Loads each trace file with its own engine and prints, in argument order:\n"
               "  dump     the whole model: every thread with its call tree, every method with its\n"
               "           calls, and the namespace tree (texts in UTF-8, quoted and escaped)\n"
               "  summary  one line per file: threads, items (lines), methods and unreturned calls\n"
               "File names are printed quoted and escaped like texts; a byte of a name that is not\n"
               "UTF-8 is written \\xNN.\n"
               "A progress bar is drawn on standard error when it is a terminal.\n"
               "Exit status: 0 when every file loaded, 1 when a file could not be opened or loaded\n"
               "(the reason, such as lack of memory, goes to standard error), 2 for a usage error.\n",
               stream);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    const bool dump = argc >= 3 && std::strcmp(argv[1], "dump") == 0;
    const bool summary = argc >= 3 && std::strcmp(argv[1], "summary") == 0;
    if (!dump && !summary) {
        PrintUsage(stderr);
        return 2;
    }
    int status = 0;
    Output out;
    for (int i = 2; i < argc; ++i) {
        // A name is printed quoted and escaped, so that no name can make up an output line.
        const std::string shownName = KivTools::QuoteSystemPath(argv[i]);
        LoadedFile loaded;
        if (!Load(argv[i], shownName, loaded)) {
            status = 1;
            continue;
        }
        g_modelOutOfMemory = false;
        if (dump) {
            Dump(out, shownName, loaded.root);
        } else {
            Summary(out, shownName, loaded.root);
        }
        out.Flush();
        if (g_modelOutOfMemory) {
            std::fprintf(stderr, "kivlog: %s: %s\n", shownName.c_str(), NoMemory);
            status = 1;
        }
        if (i + 1 == argc) {
            // The last model is not taken apart object by object, which takes long for a large
            // trace: ending the process gives all its memory back at once.
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(status);
        }
    }
    return status;
}
