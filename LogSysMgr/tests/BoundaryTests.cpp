// No C++ exception leaves an operation of the engine's interfaces: an allocation failure comes
// out as E_OUTOFMEMORY, anything else as E_FAIL. The exceptions are thrown by a foreign object
// that the operation calls, standing in for the engine's own allocations at the same place.
#include "CKivLogSysFactory.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

using Kiv::CComPtr;

namespace {

// A model node, method, method set and progress sink of someone else's making. Until armed it
// answers what the engine needs to take it in; once armed, its operations throw m_throw.
class CForeignNode : public IKivLogSysBlock,
                     public IKivListItemEdit,
                     public IKivLogSysThread,
                     public IKivLogSysThreadEdit,
                     public IKivLogSysMethodInfo,
                     public IKivLogSysMethodSet,
                     public IKivLogSysMgr_LoadProgress {
public:
    CForeignNode() { m_record.cbSize = sizeof m_record; }
    virtual ~CForeignNode() = default;

    // Kiv::IKivListItem, IKivLogSysLine, IKivLogSysBlock
    HRESULT GetChildCount(LONG*) override { return Fire(E_NOTIMPL); }
    HRESULT GetChildItem(LONG, REFIID, void**) override { return Fire(E_NOTIMPL); }
    HRESULT GetParent(REFIID, void**) override { return Fire(E_NOTIMPL); }
    HRESULT IsEqual(IUnknown*, BOOL*) override { return Fire(E_NOTIMPL); }
    HRESULT GetLineInfo(const KivLogSysLineInfo** info) override
    {
        *info = &m_record;
        return Fire(S_OK);
    }
    HRESULT GetEndLineInfo(const KivLogSysLineInfo**) override { return Fire(E_NOTIMPL); }
    HRESULT GetEndLogSysLine(REFIID, void**) override { return Fire(E_NOTIMPL); }
    HRESULT GetThread(REFIID, void**) override { return Fire(E_NOTIMPL); }
    // IKivListItemEdit
    HRESULT SetParent(Kiv::IKivListItemFolder*) override { return Fire(S_OK); }
    // IKivLogSysThread, IKivLogSysThreadEdit
    HRESULT GetThreadId(DWORD*) override { return Fire(E_NOTIMPL); }
    HRESULT SetThreadId(DWORD) override { return Fire(E_NOTIMPL); }
    HRESULT AddLine(const KivLogSysLineInfo*) override { return Fire(E_NOTIMPL); }
    HRESULT BuildMethodSet(IKivLogSysMethodSet*) override { return Fire(E_NOTIMPL); }
    // IKivLogSysMethodInfo
    HRESULT GetName(BSTR*) override { return Fire(E_NOTIMPL); }
    HRESULT GetLineCount(LONG*) override { return Fire(E_NOTIMPL); }
    HRESULT GetLineInfo(LONG, REFIID, void**) override { return Fire(E_NOTIMPL); }
    HRESULT GetRefThreadCount(LONG*) override { return Fire(E_NOTIMPL); }
    HRESULT GetRefThread(LONG, REFIID, void**) override { return Fire(E_NOTIMPL); }
    HRESULT GetThreadLineCount(DWORD, LONG*) override { return Fire(E_NOTIMPL); }
    HRESULT GetThraedLine(DWORD, LONG, REFIID, void**) override { return Fire(E_NOTIMPL); }
    // IKivLogSysMethodSet
    HRESULT GetMethodInfo(BSTR, REFIID, void**) override { return Fire(E_NOTIMPL); }
    HRESULT GetMethodNames(LONG*, BSTR**) override { return Fire(E_NOTIMPL); }
    HRESULT GetNameSpaceRoot(IKivLogSysNameSpace**) override { return Fire(E_NOTIMPL); }
    // IKivLogSysMgr_LoadProgress
    HRESULT OnKivLogSysMgr_LoadProgress(LONG, LONG) override { return Fire(S_OK); }

    // Answers even when armed: QueryInterface is called through the engine's smart pointers,
    // which take every interface call to keep its promise never to throw.
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysBlock*>(this)},
                                        {Kiv::IKivListItem::Iid, static_cast<IKivLogSysBlock*>(this)},
                                        {IKivLogSysLine::Iid, static_cast<IKivLogSysBlock*>(this)},
                                        {IKivLogSysBlock::Iid, static_cast<IKivLogSysBlock*>(this)},
                                        {IKivListItemEdit::Iid, static_cast<IKivListItemEdit*>(this)},
                                        {IKivLogSysThread::Iid, static_cast<IKivLogSysThread*>(this)},
                                        {IKivLogSysThreadEdit::Iid, static_cast<IKivLogSysThreadEdit*>(this)},
                                        {IKivLogSysMethodInfo::Iid, static_cast<IKivLogSysMethodInfo*>(this)},
                                        {IKivLogSysMethodSet::Iid, static_cast<IKivLogSysMethodSet*>(this)},
                                        {IKivLogSysMgr_LoadProgress::Iid, static_cast<IKivLogSysMgr_LoadProgress*>(this)}},
                                       riid, ppv);
    }

    std::function<void()> m_throw; // armed when set
    KivLogSysLineInfo m_record{};

private:
    HRESULT Fire(HRESULT unarmed)
    {
        if (m_throw) {
            m_throw();
        }
        return unarmed;
    }
};

using Foreign = Kiv::CKivObject<CForeignNode>;

// The engine object an operation runs on, set up with the foreign node as it needs it.
struct Operation {
    const char* what;
    std::function<HRESULT(Foreign* foreign, std::function<void()> arm)> run;
};

template <class T>
CComPtr<T> As(IUnknown* object)
{
    CComPtr<T> part;
    EXPECT_EQ(object->QueryInterface(IID_PPV_ARGS(&part)), S_OK);
    return part;
}

HRESULT AppendChild(IUnknown* parent, IUnknown* child)
{
    IUnknown* const items[] = {child};
    return As<Kiv::IKivListItemFolder>(parent)->InsertChildItem(0, 1, items);
}

const Operation Operations[] = {
    {"CKivLogSysThread::BuildMethodSet into a foreign set",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysThread> thread;
         CKivLogSysFactory::CreateLogSysThread(&thread);
         KivLogSysLineInfo entry{};
         entry.cbSize = sizeof entry;
         entry.text = " CFoo::A()";
         entry.textLength = 10;
         entry.kind = KivLogSysLineKind::Enter;
         EXPECT_EQ(As<IKivLogSysThreadEdit>(thread)->AddLine(&entry), S_OK);
         arm();
         return As<IKivLogSysThreadEdit>(thread)->BuildMethodSet(foreign);
     }},
    {"CKivLogSysThread::GetListItemCount over a foreign child",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysThread> thread;
         CKivLogSysFactory::CreateLogSysThread(&thread);
         EXPECT_EQ(AppendChild(thread, static_cast<IKivLogSysBlock*>(foreign)), S_OK);
         arm();
         LONG count = 0;
         return As<Kiv::IKivListAccess>(thread)->GetListItemCount(&count);
     }},
    {"CKivLogSysBlock::InsertChildItem of a foreign item",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysBlock> block;
         CKivLogSysFactory::CreateLogSysBlock(&block);
         arm();
         return AppendChild(block, static_cast<IKivLogSysBlock*>(foreign));
     }},
    {"CKivLogSysNameSpace::AddMethodInfo of a foreign method",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysNameSpace> node;
         CKivLogSysFactory::CreateLogSysNameSpace(&node);
         arm();
         return As<IKivLogSysNameSpaceEdit>(node)->AddMethodInfo(foreign, -1);
     }},
    {"CKivLogSysMethodInfo::AddBlock of a foreign call",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysMethodInfo> info;
         CKivLogSysFactory::CreateLogSysMethodInfo(&info, nullptr);
         arm();
         return As<IKivLogSysMethodInfoEdit>(info)->AddBlock(foreign);
     }},
    {"CKivLogSysMethodInfo::GetRefThreadCount over a foreign call",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysMethodInfo> info;
         CKivLogSysFactory::CreateLogSysMethodInfo(&info, nullptr);
         EXPECT_EQ(As<IKivLogSysMethodInfoEdit>(info)->AddBlock(foreign), S_OK);
         arm();
         LONG count = 0;
         return info->GetRefThreadCount(&count);
     }},
    {"CKivLogSysRoot::GetMethodSet over a foreign thread",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysRoot> root;
         CKivLogSysFactory::CreateLogSysRoot(&root);
         EXPECT_EQ(AppendChild(root, static_cast<IKivLogSysThread*>(foreign)), S_OK);
         arm();
         CComPtr<IKivLogSysMethodSet> set;
         return root->GetMethodSet(IID_PPV_ARGS(&set));
     }},
    {"CKivLogSysRoot::GetLogThread beside a foreign thread",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysRoot> root;
         CKivLogSysFactory::CreateLogSysRoot(&root);
         EXPECT_EQ(AppendChild(root, static_cast<IKivLogSysThread*>(foreign)), S_OK);
         arm();
         CComPtr<IKivLogSysThread> thread;
         return root->GetLogThread(5, IID_PPV_ARGS(&thread));
     }},
    {"CKivLogSysMgrImp relays a report to a foreign sink",
     [](Foreign* foreign, std::function<void()> arm) {
         CComPtr<IKivLogSysMgr> manager;
         CKivLogSysFactory::CreateLogSysMgr(&manager);
         EXPECT_EQ(manager->SetLoadProgress(foreign), S_OK);
         arm();
         return As<IKivLogSysMgr_LoadProgress>(manager)->OnKivLogSysMgr_LoadProgress(KivLogSysLoadProgress::Progress, 5);
     }},
};

TEST(BoundaryTest, ExceptionsBecomeStatusesAtEveryOperation)
{
    struct Thrown {
        const char* what;
        std::function<void()> raise;
        HRESULT status;
    };
    const Thrown thrown[] = {
        {"bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"system_error ENOMEM", [] { throw std::system_error(std::make_error_code(std::errc::not_enough_memory)); },
         E_OUTOFMEMORY},
        {"length_error", [] { throw std::length_error("too long"); }, E_FAIL},
    };
    for (const Operation& operation : Operations) {
        for (const Thrown& t : thrown) {
            SCOPED_TRACE(std::string(operation.what) + ", " + t.what);
            CComPtr<Foreign> foreign(Foreign::CreateObject());
            HRESULT hr = S_OK;
            try {
                hr = operation.run(foreign, [&] { foreign->m_throw = t.raise; });
            } catch (...) {
                ADD_FAILURE() << "an exception left the operation";
                hr = S_OK;
            }
            EXPECT_EQ(hr, t.status);
            foreign->m_throw = nullptr; // the engine objects let go of it without a fault
        }
    }
}

} // namespace
