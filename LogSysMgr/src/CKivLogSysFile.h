// CKivLogSysFile: the engine's reader of one trace log file. It holds the whole text in private
// memory (converted to code page 932 when the file is UTF-8 or UTF-16 with a byte-order mark),
// finds the trace lines in it, parses each into a KivLogSysLineInfo that points into that memory,
// and hands the lines to the model while it reports progress and watches for a stop request.
//
// Thread-safety: OpenFile and Close run on the owner's thread, LoadLog on the loading thread;
// the only state shared while a load runs is the cancel flag, which RequestStop sets from any
// thread.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivPlatform/FileContent.h"
#include "KivPlatform/Threading.h"

#include <atomic>
#include <cstddef>

class CKivLogSysFile {
public:
    // Bytes in a trace line header: "[%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]".
    static constexpr std::size_t HeaderLength = 36;
    // Longest line measured, in bytes (one more where a double-byte character straddles it).
    static constexpr std::size_t MaxLineLength = 1024;

    // What LoadLog returns when it read the text (or was stopped); a failure is a failure status.
    static constexpr HRESULT LoadCompleted = S_OK;
    static constexpr HRESULT LoadCancelled = S_FALSE;

    CKivLogSysFile() = default;
    ~CKivLogSysFile();
    CKivLogSysFile(const CKivLogSysFile&) = delete;
    CKivLogSysFile& operator=(const CKivLogSysFile&) = delete;

    // Reads the file and checks that it holds a trace line. S_OK; E_OUTOFMEMORY when there was
    // no memory for the text; E_FAIL on any other failure.
    HRESULT OpenFile(LPCWSTR path);
    // The same for content already in memory (the bytes of a file as read).
    HRESULT OpenContent(Kiv::Platform::PrivateMemory content);
    // Reads every trace line into the root, reporting progress to sink (which may be null).
    // LoadCompleted, or LoadCancelled when a stop was requested. E_OUTOFMEMORY when the model
    // could not take a line for lack of memory: the root is then emptied, and the sink's last
    // report (kind 2) carries that status as its value instead of 0.
    HRESULT LoadLog(IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* sink);
    // Asks a running LoadLog to stop at its next rise in percentage.
    void RequestStop();
    // Frees the text; every line record read from it becomes invalid. S_OK.
    HRESULT Close();

    const BYTE* GetData() const { return m_content.Data(); }
    std::size_t GetDataSize() const { return m_content.Size(); }

    // True if a trace line header starts at p (n bytes available).
    static bool CheckEnableLineHeader(const BYTE* p, std::size_t n);
    // Advances p (and shrinks n) to the next header; to the end of the data when there is none.
    static HRESULT SeekStartPosition(const BYTE*& p, std::size_t& n);
    // Parses the line at p into record (all but cbSize and lineNumber) and gives the number of
    // bytes consumed (the line and its first line-end byte). E_FAIL when no header starts at p.
    static HRESULT ReadLine(const BYTE* p, KivLogSysLineInfo* record, std::size_t n, std::size_t* consumed);

private:
    // The loop of LoadLog: every line to the root, progress to the sink, and the stop request.
    // S_OK, or E_OUTOFMEMORY when the model could not take a line.
    HRESULT ReadLines(IKivLogSysRoot* root, IKivLogSysMgr_LoadProgress* sink);
    // Replaces a UTF-8 or UTF-16 text (after its byte-order mark) by its code page 932 form.
    HRESULT ConvertToAnsi();
    // Reports to the sink, if there is one.
    static void Report(IKivLogSysMgr_LoadProgress* sink, LONG kind, LONG value);

    Kiv::Platform::PrivateMemory m_content;
    std::atomic<LONG> m_cancel{0};
    Kiv::Platform::CriticalSection m_lock;
};
