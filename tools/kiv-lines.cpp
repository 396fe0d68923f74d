// kiv-lines FILE...: prints every trace line of each file as the engine's reader parses it,
// one line each: number, thread, time, depth, kind and text. A look at what the reader sees,
// before any call tree is built.
#include "CKivLogSysFile.h"
#include "TextEscape.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/ModulePath.h"

#include <cstdio>
#include <cstring>

namespace {

const char* KindName(WORD kind)
{
    switch (kind) {
    case KivLogSysLineKind::Enter:
        return "enter";
    case KivLogSysLineKind::Return:
        return "return";
    default:
        return "text";
    }
}

// A root whose one thread object prints every line it is given, whatever its thread.
class CPrintingRoot : public IKivLogSysRoot, public IKivLogSysThread, public IKivLogSysThreadEdit {
public:
    virtual ~CPrintingRoot() = default;

    HRESULT GetLogThread(DWORD, REFIID riid, void** ppv) override { return FindInterface(riid, ppv); }
    HRESULT GetMethodSet(REFIID, void**) override { return E_NOTIMPL; }
    HRESULT GetThreadId(DWORD* threadId) override
    {
        *threadId = 0;
        return S_OK;
    }
    HRESULT SetThreadId(DWORD) override { return S_OK; }
    HRESULT BuildMethodSet(IKivLogSysMethodSet*) override { return E_NOTIMPL; }
    HRESULT AddLine(const KivLogSysLineInfo* info) override
    {
        const SYSTEMTIME& t = info->time;
        std::printf("%ld %08X %04u/%02u/%02u %02u:%02u:%02u.%03u %u %s %s\n", static_cast<long>(info->lineNumber),
                    info->threadId, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                    info->depth, KindName(info->kind),
                    KivTools::QuoteAnsiText({info->text, static_cast<std::size_t>(info->textLength)}).c_str());
        return S_OK;
    }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysRoot*>(this)},
                                        {IKivLogSysRoot::Iid, static_cast<IKivLogSysRoot*>(this)},
                                        {IKivLogSysThread::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThreadEdit::Iid, static_cast<IKivLogSysThreadEdit*>(this)}},
                                       riid, ppv);
    }
};

void PrintUsage(std::FILE* out)
{
    std::fputs("usage: kiv-lines FILE...\n"
               "Prints every trace line of each file as the reader parses it:\n"
               "  <line number> <thread id> <date> <time> <depth> <enter|text|return> \"<text>\"\n"
               "Exit status: 0 when every file was read, 1 when a file holds no trace line or cannot be\n"
               "read, 2 for a usage error.\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    int status = 0;
    Kiv::CComPtr<IKivLogSysRoot> root = Kiv::CKivObject<CPrintingRoot>::CreateObject();
    for (int i = 1; i < argc; ++i) {
        CKivLogSysFile file;
        if (FAILED(file.OpenFile(Kiv::Platform::FromSystemPath(argv[i]).c_str()))) {
            std::fprintf(stderr, "kiv-lines: %s: cannot be read or holds no trace line\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("file %s\n", argv[i]);
        file.LoadLog(root, nullptr);
    }
    return status;
}
