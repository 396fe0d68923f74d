// The interfaces of the engine's model and front. Interfaces whose names end in Edit are the
// building side, used by the engine while it loads; callers read through the plain ones.
//
// Threads. Every operation of IKivLogSysMgr may be called from any thread (but LoadLogFile and
// WaitWorkThreads not from inside a progress report: see IKivLogSysMgr). Reference counting
// (AddRef, Release, QueryInterface) is thread-safe everywhere. A model is built by its load
// alone; once the load has ended (its Finished report), these reading operations may be called
// from several threads at once on the same model:
// - every operation of Kiv::IKivListItem on lines, blocks, threads, the root and namespace nodes
//   (walking the call trees and the namespace tree), IKivLogSysLine, IKivLogSysBlock and
//   IKivLogSysThread;
// - IKivLogSysRoot::GetMethodSet, also on its first request, which builds the method index once;
// - IKivLogSysMethodSet::GetMethodNames, GetNameSpaceRoot, and GetMethodInfo of a name the set
//   holds (as GetMethodNames lists them);
// - every operation of IKivLogSysMethodInfo and IKivLogSysNameSpace, also those that collect
//   their answer on first request (the calling threads, the calls per thread).
// Everything else changes the model and needs the model to itself: the Edit interfaces,
// IKivLogSysRoot::GetLogThread (which makes the thread of an unknown identifier),
// IKivLogSysMethodSet::GetMethodInfo of a name the set does not hold (which adds the method), and
// Kiv::IKivListAccess of a thread, which rebuilds the thread's flat list (one thread at a time
// per thread object).
#pragma once

#include "KivLogSysMgr/KivListItem.h"
#include "KivLogSysMgr/KivLogSysLineInfo.h"

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Unknown.h"

struct IKivLogSysMethodSet;

// One trace line.
struct IKivLogSysLine : Kiv::IKivListItem {
    KIV_INTERFACE_ID("34B9F56C-9386-4672-B867-447D2C839C00");
    // The object's own record (no copy), valid while the object lives.
    virtual HRESULT GetLineInfo(const KivLogSysLineInfo** info) = 0;
};

struct IKivLogSysLineEdit : IUnknown {
    KIV_INTERFACE_ID("9A0FDE30-EE54-4EF4-BB6C-0A11D22DD47B");
    virtual HRESULT PutLineInfo(const KivLogSysLineInfo* info) = 0;
};

// One call of a traced method: its entry line, the lines written during it, its return line.
struct IKivLogSysBlock : IKivLogSysLine {
    KIV_INTERFACE_ID("82C835D1-45F7-4DF8-84FF-33F8FC9E7D38");
    virtual HRESULT GetEndLineInfo(const KivLogSysLineInfo** info) = 0;
    virtual HRESULT GetEndLogSysLine(REFIID riid, void** ppv) = 0;
    // The nearest enclosing thread object.
    virtual HRESULT GetThread(REFIID riid, void** ppv) = 0;
};

struct IKivLogSysBlockEdit : IKivLogSysLineEdit {
    KIV_INTERFACE_ID("BB7CD4AB-214E-4772-83F9-4B904FE3872A");
    virtual HRESULT PutEndLineInfo(const KivLogSysLineInfo* info) = 0;
};

// All lines of one thread identifier, nested into calls.
struct IKivLogSysThread : IUnknown {
    KIV_INTERFACE_ID("CB6CE6BB-1D7F-4190-8601-27FF61731153");
    virtual HRESULT GetThreadId(DWORD* threadId) = 0;
};

struct IKivLogSysThreadEdit : IUnknown {
    KIV_INTERFACE_ID("8AED8F88-9AD3-485B-902B-8B06438A608C");
    virtual HRESULT SetThreadId(DWORD threadId) = 0;
    // Files a line into the call tree by its depth; the record is copied.
    virtual HRESULT AddLine(const KivLogSysLineInfo* info) = 0;
    virtual HRESULT BuildMethodSet(IKivLogSysMethodSet* methodSet) = 0;
};

// The root of a loaded model: one thread object per thread identifier, and the method index.
struct IKivLogSysRoot : IUnknown {
    KIV_INTERFACE_ID("FA52B6B3-D5AD-4945-B0CD-A00DDDAB117E");
    // The thread object of the identifier, created on first use.
    virtual HRESULT GetLogThread(DWORD threadId, REFIID riid, void** ppv) = 0;
    // The method set, built on first use.
    virtual HRESULT GetMethodSet(REFIID riid, void** ppv) = 0;
};

struct IKivLogSysRootEdit : IUnknown {
    KIV_INTERFACE_ID("DC671BA7-E16D-4E06-8C31-4E54A636684D");
    virtual HRESULT RemoveAllItems() = 0;
};

// Every call of one traced method, and the threads that made them.
struct IKivLogSysMethodInfo : IUnknown {
    KIV_INTERFACE_ID("F78D9A45-32E7-4058-AD61-146B22C2B955");
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetLineCount(LONG* count) = 0;
    virtual HRESULT GetLineInfo(LONG index, REFIID riid, void** ppv) = 0;
    virtual HRESULT GetRefThreadCount(LONG* count) = 0;
    virtual HRESULT GetRefThread(LONG index, REFIID riid, void** ppv) = 0;
    virtual HRESULT GetThreadLineCount(DWORD threadId, LONG* count) = 0;
    virtual HRESULT GetThraedLine(DWORD threadId, LONG index, REFIID riid, void** ppv) = 0;
};

struct IKivLogSysMethodInfoEdit : IUnknown {
    KIV_INTERFACE_ID("8E91F2A6-A7A3-4FF9-A88D-425B291250AE");
    virtual HRESULT AddBlock(IKivLogSysBlock* block) = 0;
    // Copies the whole BSTR, by its length: a method name is the whole entry text, which may
    // hold NUL characters. Null clears the name.
    virtual HRESULT SetName(BSTR name) = 0;
};

struct IKivLogSysNameSpace;

// The method index: method names to their calls, and a namespace tree over the names.
struct IKivLogSysMethodSet : IUnknown {
    KIV_INTERFACE_ID("B9273F21-326F-43CA-B0E9-02EAD3210CD6");
    // The method of the name, made on first use. The name is a BSTR and counts by its length,
    // NUL characters included (as GetMethodNames hands names out); two names are the same
    // method exactly when their code page 932 bytes are equal.
    virtual HRESULT GetMethodInfo(BSTR name, REFIID riid, void** ppv) = 0;
    // names is allocated with CoTaskMemAlloc and each name is a BSTR of the whole name; the
    // caller frees every string and then the array.
    virtual HRESULT GetMethodNames(LONG* count, BSTR** names) = 0;
    virtual HRESULT GetNameSpaceRoot(IKivLogSysNameSpace** root) = 0;
};

// One node of the namespace tree: a part of a method name, maybe the method ending there.
struct IKivLogSysNameSpace : Kiv::IKivListItem {
    KIV_INTERFACE_ID("70E8637A-C402-410C-B7A9-D041C3DE2D01");
    virtual HRESULT GetName(BSTR* name) = 0;
    virtual HRESULT GetMethodInfo(IKivLogSysMethodInfo** methodInfo) = 0;
};

struct IKivLogSysNameSpaceEdit : IUnknown {
    KIV_INTERFACE_ID("A5BEAA2F-B8BE-4A4C-844E-3DA392D4EA3E");
    virtual HRESULT AddMethodInfo(IKivLogSysMethodInfo* methodInfo, LONG level) = 0;
};

// The kinds of a load's progress reports (IKivLogSysMgr_LoadProgress), in the order a load makes
// them.
namespace KivLogSysLoadProgress {
// Reading starts; the value is 0. Once per load.
inline constexpr LONG Start = 0;
// The percentage read: rising from 1 to 99, each at most once, then 100 when the whole file was
// read (not after a stop).
inline constexpr LONG Progress = 1;
// The load has ended; the value is 0, or the failure status of a load that failed (E_OUTOFMEMORY:
// the model is empty). Always the last report: the new model is then the manager's
// (GetRootObject).
inline constexpr LONG Finished = 2;
} // namespace KivLogSysLoadProgress

// Progress of a load, implemented by the engine's caller: a KivLogSysLoadProgress kind and its
// value. Called on the loading thread (the worker of a background load); it must hand the work
// to its own thread itself.
struct IKivLogSysMgr_LoadProgress : IUnknown {
    KIV_INTERFACE_ID("EBE70C35-438C-4756-99E2-3567DDAAA188");
    virtual HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) = 0;
};

// The engine: loads trace log files into a model. Every operation may be called from any thread.
// A load's own thread (where its progress reports arrive) cannot start another load or wait for
// the worker: LoadLogFile and WaitWorkThreads called there return E_ILLEGAL_METHOD_CALL.
struct IKivLogSysMgr : IUnknown {
    KIV_INTERFACE_ID("72413635-BD34-42E3-B5D3-069A480408F5");
    // background non-zero: load on a worker thread; 0: load before returning (a load that
    // fails returns its failure status).
    virtual HRESULT LoadLogFile(LPCWSTR path, LONG background) = 0;
    virtual HRESULT StopLoadLog() = 0;
    virtual HRESULT WaitWorkThreads() = 0;
    virtual HRESULT SetLoadProgress(IKivLogSysMgr_LoadProgress* sink) = 0;
    virtual HRESULT ClearLogInfo() = 0;
    virtual HRESULT GetRootObject(IKivLogSysRoot** root) = 0;
};
