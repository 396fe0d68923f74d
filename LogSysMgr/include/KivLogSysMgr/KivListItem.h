// The generic tree and list interfaces that every model node offers.
#pragma once

#include "KivPlatform/Unknown.h"

namespace Kiv {

struct IKivListItemFolder;

// A node of a tree: its children, its parent and its identity.
struct IKivListItem : IUnknown {
    KIV_INTERFACE_ID("8214D878-0D24-4387-815A-30BB311E579E");
    virtual HRESULT GetChildCount(LONG* count) = 0;
    virtual HRESULT GetChildItem(LONG index, REFIID riid, void** ppv) = 0;
    virtual HRESULT GetParent(REFIID riid, void** ppv) = 0;
    // *result is 1 when other is the same object (same IUnknown identity), else 0.
    virtual HRESULT IsEqual(IUnknown* other, BOOL* result) = 0;
};

// A node whose children can be inserted and removed.
struct IKivListItemFolder : IKivListItem {
    KIV_INTERFACE_ID("AEAC9860-C5D0-41F3-902A-2C78D1B19680");
    virtual HRESULT InsertChildItem(LONG index, LONG count, IUnknown* const* items) = 0;
    virtual HRESULT RemoveChildItem(LONG count, IUnknown* const* items) = 0;
};

// Flat, indexed access to a node's lines.
struct IKivListAccess : IUnknown {
    KIV_INTERFACE_ID("36C1B3CE-2DAE-4293-BAE7-088DA04AA8E4");
    virtual HRESULT GetListItemCount(LONG* count) = 0;
    virtual HRESULT GetListItem(LONG index, REFIID riid, void** ppv) = 0;
};

} // namespace Kiv

// The building side of a node: where it hangs. The parent pointer is not counted.
struct IKivListItemEdit : IUnknown {
    KIV_INTERFACE_ID("C0CAEF58-A564-4158-BE85-7843879BED64");
    virtual HRESULT SetParent(Kiv::IKivListItemFolder* parent) = 0;
};
