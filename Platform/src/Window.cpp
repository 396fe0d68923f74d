// The message-hook list of IWindow. Not thread-safe (user-interface thread only).
#include "KivPlatform/Window.h"

#include <algorithm>

namespace Kiv::Platform {

void IWindow::AddMessageHook(IWindowMessageHook* hook)
{
    if (hook != nullptr && std::find(m_hooks.begin(), m_hooks.end(), hook) == m_hooks.end()) {
        m_hooks.push_back(hook);
    }
}

void IWindow::RemoveMessageHook(IWindowMessageHook* hook)
{
    std::erase(m_hooks, hook);
}

void IWindow::NotifyMessageHooks(WindowMessage message, LONG x, LONG y)
{
    // A hook may change the list (a layout object detaching while it handles the message), so
    // walk a copy and skip hooks that have gone in the meantime.
    const std::vector<IWindowMessageHook*> hooks = m_hooks;
    for (IWindowMessageHook* hook : hooks) {
        if (std::find(m_hooks.begin(), m_hooks.end(), hook) != m_hooks.end()) {
            hook->OnWindowMessage(this, message, x, y);
        }
    }
}

} // namespace Kiv::Platform
