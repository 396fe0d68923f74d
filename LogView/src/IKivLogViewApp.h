// The main dialog's interface to the navigation tree, the property list, the view-side dialog and
// the view window. Plain and uncounted: the main dialog outlives every holder. User-interface
// thread only.
#pragma once

#include "LogFont.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

class CKivLogFile;
class CNaviChildItemData;

class IKivLogViewApp {
public:
    // Makes file the current file of the view window; null clears it.
    virtual HRESULT SelectLogFile(CKivLogFile* file) = 0;
    // Hands the tree item (may be null) to the property list and refills it.
    virtual HRESULT ShowItemProperty(CNaviChildItemData* item) = 0;
    // Selects the file, then scrolls the current log view so that line is visible.
    virtual HRESULT ShowLogLine(CKivLogFile* file, const KivLogSysLineInfo* line) = 0;
    // Selects the file, then marks the block's lines as the current log view's selection.
    virtual HRESULT SelectLogBlock(CKivLogFile* file, IKivLogSysBlock* block) = 0;
    virtual LOGFONTW* GetViewFont() = 0;
    // Closes the file of the selected tree node; nothing when none is selected.
    virtual HRESULT CloseSelectedFile() = 0;

protected:
    ~IKivLogViewApp() = default;
};
