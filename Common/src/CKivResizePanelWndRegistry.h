// The per-window registries of the layout objects that handle a window's messages (one for
// containers, one for splitters). The first object attached to a window hooks its messages; each
// message goes to every attached object in the order they were attached; when the last one
// detaches, the hook is removed and the window's record dropped. Not thread-safe: windows and
// their objects belong to the user-interface thread.
#pragma once

#include "KivPlatform/Window.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace Kiv {

// TObject provides void OnWindowMessage(Platform::WindowMessage message, LONG x, LONG y).
template <class TObject>
class CKivResizePanelWndRegistry {
public:
    static void Attach(HWND window, TObject* object)
    {
        auto& records = Records();
        auto found = records.find(window);
        if (found == records.end()) {
            found = records.emplace(window, std::make_unique<CRecord>(window)).first;
            window->AddMessageHook(found->second.get());
        }
        std::vector<TObject*>& objects = found->second->m_objects;
        if (std::find(objects.begin(), objects.end(), object) == objects.end()) {
            objects.push_back(object);
        }
    }

    static void Detach(HWND window, TObject* object)
    {
        auto& records = Records();
        const auto found = records.find(window);
        if (found == records.end()) {
            return;
        }
        std::erase(found->second->m_objects, object);
        if (found->second->m_objects.empty()) {
            window->RemoveMessageHook(found->second.get());
            records.erase(found);
        }
    }

private:
    // One hooked window: the hook registered with it and the objects attached to it.
    class CRecord : public Platform::IWindowMessageHook {
    public:
        explicit CRecord(HWND window) : m_window(window) {}
        virtual ~CRecord() = default;

        void OnWindowMessage(Platform::IWindow*, Platform::WindowMessage message, LONG x, LONG y) override
        {
            // The record may be dropped while the message is handed out, so only the window's
            // handle is taken from it.
            Dispatch(m_window, message, x, y);
        }

        HWND m_window;
        std::vector<TObject*> m_objects;
    };

    static std::map<HWND, std::unique_ptr<CRecord>>& Records()
    {
        static std::map<HWND, std::unique_ptr<CRecord>> records;
        return records;
    }

    static bool IsAttached(HWND window, TObject* object)
    {
        const auto& records = Records();
        const auto found = records.find(window);
        return found != records.end() &&
               std::find(found->second->m_objects.begin(), found->second->m_objects.end(), object) !=
                   found->second->m_objects.end();
    }

    // An object may detach (or be destroyed) while an earlier one handles the message, so the
    // list is copied and each object checked again before its turn.
    static void Dispatch(HWND window, Platform::WindowMessage message, LONG x, LONG y)
    {
        const auto found = Records().find(window);
        if (found == Records().end()) {
            return;
        }
        const std::vector<TObject*> objects = found->second->m_objects;
        for (TObject* object : objects) {
            if (IsAttached(window, object)) {
                object->OnWindowMessage(message, x, y);
            }
        }
    }
};

} // namespace Kiv
