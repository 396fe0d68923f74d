// What the manager tests read of a model: the identifiers of a root's threads, in its order.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

#include <vector>

namespace KivTest {

inline std::vector<DWORD> ThreadIds(IKivLogSysRoot* root)
{
    Kiv::CComPtr<Kiv::IKivListItem> folder;
    EXPECT_EQ(root->QueryInterface(IID_PPV_ARGS(&folder)), S_OK);
    LONG count = 0;
    folder->GetChildCount(&count);
    std::vector<DWORD> ids;
    for (LONG i = 0; i < count; ++i) {
        Kiv::CComPtr<IKivLogSysThread> thread;
        EXPECT_EQ(folder->GetChildItem(i, IID_PPV_ARGS(&thread)), S_OK);
        DWORD id = 0;
        thread->GetThreadId(&id);
        ids.push_back(id);
    }
    return ids;
}

// The thread identifiers of the manager's current model.
inline std::vector<DWORD> RootThreadIds(IKivLogSysMgr* manager)
{
    Kiv::CComPtr<IKivLogSysRoot> root;
    EXPECT_EQ(manager->GetRootObject(&root), S_OK);
    return root ? ThreadIds(root) : std::vector<DWORD>{};
}

} // namespace KivTest
