// The data source of a log view control: the lines it shows, their marks, and where the control
// reports that it became the current one. Plain and uncounted: the view window that implements
// it outlives its controls. User-interface thread only.
#pragma once

#include "KivLogSysMgr/KivLogSysLineInfo.h"
#include "KivPlatform/Status.h"

class CKivLogViewCtrl;

class IKivLogViewCtrl_EventHandle {
public:
    // The number of lines; 0.
    virtual HRESULT GetViewLineCount(LONG* count) = 0;
    // The record at index; E_FAIL when index is negative or not below the count.
    virtual HRESULT GetViewLine(LONG index, const KivLogSysLineInfo** line) = 0;
    // The mark of the line at index (0 for none); E_FAIL when index is not below the count.
    virtual HRESULT GetLineMark(LONG index, LONG* mark) = 0;
    // Stores the mark of the line at index; E_FAIL when index is not below the count.
    virtual HRESULT SetLineMark(LONG index, LONG mark) = 0;
    // ctrl took the keyboard focus and becomes the current control; 0.
    virtual HRESULT SetActiveCtrl(CKivLogViewCtrl* ctrl) = 0;

protected:
    ~IKivLogViewCtrl_EventHandle() = default;
};
