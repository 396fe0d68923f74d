// The item data of the navigation tree's nodes: every node carries one object of this family,
// owned by the node and deleted with it. The kind says what the node stands for and which class
// the object is; the property list picks its columns by the same kinds. Plain data, user-interface
// thread only.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include <utility>

class CKivLogFile;

// What a node of the navigation tree stands for. The values are fixed: the property list keys
// its layout on them.
enum class NaviNodeKind : LONG {
    File = 0,            // a file; children: the four folders
    MethodFolder = 1,    // "関数一覧"; children: one Method per method name
    Method = 2,          // a method (CNaviChildItemData_Method); children: MethodThread nodes
    EndlessCall = 3,     // a call that never returned (CNaviChildItemData_MethodLine); a leaf
    MethodThread = 4,    // a thread that ran the parent method (CNaviChildItemData_MethodRefThread)
    ThreadFolder = 5,    // "スレッド一覧"; children: one Thread per thread
    Thread = 6,          // a thread (CNaviChildItemData_Thread); children: ThreadMethod nodes
    ThreadMethod = 7,    // a method the parent thread ran (CNaviChildItemData_MethodRefThread)
    NameSpaceFolder = 8, // "名前空間 ( クラス )"; children: the namespace root's entries
    NameSpace = 9,       // a namespace (CNaviChildItemData_NameItem); children: its entries
    SearchFolder = 10,   // "検索一覧"; child: the EndlessFolder
    EndlessFolder = 11,  // "エンドレス関数"; children: one EndlessCall per call without end
    Placeholder = 12,    // "...", the one child of a node whose children were not asked for yet
};

// The file a node belongs to and the node's kind. Kinds File, the folders and Placeholder use
// this class itself.
class CNaviChildItemData {
public:
    CNaviChildItemData(CKivLogFile* file, NaviNodeKind kind) : m_file(file), m_kind(kind) {}
    virtual ~CNaviChildItemData();
    CNaviChildItemData(const CNaviChildItemData&) = delete;
    CNaviChildItemData& operator=(const CNaviChildItemData&) = delete;

    // The file, not owned: the main dialog closes the file's nodes before it deletes the file.
    CKivLogFile* GetFile() const { return m_file; }
    NaviNodeKind GetKind() const { return m_kind; }

private:
    CKivLogFile* m_file;
    NaviNodeKind m_kind;
};

// A method node (kind Method): the method's full name, as the method set names it, even where
// the node shows only the last part of it under a namespace.
class CNaviChildItemData_Method : public CNaviChildItemData {
public:
    CNaviChildItemData_Method(CKivLogFile* file, Kiv::CComBSTR methodName)
        : CNaviChildItemData_Method(file, NaviNodeKind::Method, std::move(methodName))
    {
    }
    ~CNaviChildItemData_Method() override;

    BSTR GetMethodName() const { return m_methodName; }

protected:
    CNaviChildItemData_Method(CKivLogFile* file, NaviNodeKind kind, Kiv::CComBSTR methodName)
        : CNaviChildItemData(file, kind), m_methodName(std::move(methodName))
    {
    }

private:
    Kiv::CComBSTR m_methodName;
};

// A method seen together with one thread that ran it (kinds MethodThread and ThreadMethod): the
// method's full name, then the thread identifier.
class CNaviChildItemData_MethodRefThread : public CNaviChildItemData_Method {
public:
    CNaviChildItemData_MethodRefThread(CKivLogFile* file, NaviNodeKind kind, Kiv::CComBSTR methodName, DWORD threadId)
        : CNaviChildItemData_Method(file, kind, std::move(methodName)), m_threadId(threadId)
    {
    }
    ~CNaviChildItemData_MethodRefThread() override;

    DWORD GetThreadId() const { return m_threadId; }

private:
    DWORD m_threadId;
};

// A thread node (kind Thread): the thread identifier.
class CNaviChildItemData_Thread : public CNaviChildItemData {
public:
    CNaviChildItemData_Thread(CKivLogFile* file, DWORD threadId)
        : CNaviChildItemData(file, NaviNodeKind::Thread), m_threadId(threadId)
    {
    }
    ~CNaviChildItemData_Thread() override;

    DWORD GetThreadId() const { return m_threadId; }

private:
    DWORD m_threadId;
};

// A namespace node (kind NameSpace): one counted reference on the engine's namespace entry.
class CNaviChildItemData_NameItem : public CNaviChildItemData {
public:
    CNaviChildItemData_NameItem(CKivLogFile* file, Kiv::CComPtr<IKivLogSysNameSpace> nameSpace)
        : CNaviChildItemData(file, NaviNodeKind::NameSpace), m_nameSpace(std::move(nameSpace))
    {
    }
    ~CNaviChildItemData_NameItem() override;

    IKivLogSysNameSpace* GetNameSpace() const { return m_nameSpace; }

private:
    Kiv::CComPtr<IKivLogSysNameSpace> m_nameSpace;
};

// A call without end (kind EndlessCall): one counted reference on the engine's block.
class CNaviChildItemData_MethodLine : public CNaviChildItemData {
public:
    CNaviChildItemData_MethodLine(CKivLogFile* file, Kiv::CComPtr<IKivLogSysBlock> block)
        : CNaviChildItemData(file, NaviNodeKind::EndlessCall), m_block(std::move(block))
    {
    }
    ~CNaviChildItemData_MethodLine() override;

    IKivLogSysBlock* GetBlock() const { return m_block; }

private:
    Kiv::CComPtr<IKivLogSysBlock> m_block;
};
