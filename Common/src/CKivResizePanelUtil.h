// CKivResizePanelUtil: creates the panel layout objects; the library's one static instance is
// handed out by Kiv::GetKivResizePanelUtil. Stateless itself; the objects it creates belong to
// the user-interface thread.
#pragma once

#include "KivCommon/KivResizePanel.h"

namespace Kiv {

class CKivResizePanelUtil final : public IKivResizePanelUtil {
public:
    IKivResizePanelContainer* CreateContainer() override;
    IKivResizePanelContainer* CreateContainerForWnd(HWND window) override;
    IKivResizePanel* CreatePanelForWnd(HWND window, LONG anchor) override;
    IKivResizePanelSplitter* CreateSplitterForWnd(HWND window, IKivResizePanel* first,
                                                  IKivResizePanel* second) override;
};

} // namespace Kiv
