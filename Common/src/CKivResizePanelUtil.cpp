// The panel layout's creators and the exported accessor.
#include "CKivResizePanelUtil.h"

#include "CKivResizePanelContainer.h"
#include "CKivResizePanelForWnd.h"
#include "CKivResizePanelSplitterForWnd.h"
#include "KivObject/KivObject.h"

namespace Kiv {

IKivResizePanelContainer* CKivResizePanelUtil::CreateContainer()
{
    return CKivObject<CKivResizePanelContainer>::CreateObject();
}

IKivResizePanelContainer* CKivResizePanelUtil::CreateContainerForWnd(HWND window)
{
    auto* container = CKivObject<CKivResizePanelContainerForWnd>::CreateObject();
    if (container != nullptr) {
        container->Attach(window);
    }
    return container;
}

IKivResizePanel* CKivResizePanelUtil::CreatePanelForWnd(HWND window, LONG anchor)
{
    return CKivObject<CKivResizePanelForWnd>::CreateObject(window, anchor);
}

IKivResizePanelSplitter* CKivResizePanelUtil::CreateSplitterForWnd(HWND window, IKivResizePanel* first,
                                                                   IKivResizePanel* second)
{
    auto* splitter = CKivObject<CKivResizePanelSplitterForWnd>::CreateObject();
    if (splitter != nullptr) {
        splitter->Attach(window);
        splitter->SetUpFromPanels(first, second);
    }
    return splitter;
}

IKivResizePanelUtil* GetKivResizePanelUtil()
{
    static CKivResizePanelUtil util;
    return &util;
}

} // namespace Kiv
