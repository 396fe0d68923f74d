// Helpers of the viewer's Qt tests: the bundled sample trace, mouse and wheel messages, a watcher
// that sees a dialog the moment it is shown (before its modal loop runs), an engine whose load
// the test steers, a view window's merged list, and a trace loaded and selected in a view window.
// User-interface thread, except the engine's worker.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "CKivLogViewWnd.h"
#include "TraceFixtures.h"

#include "KivTestSupport/TempDir.h"

#include <QApplication>
#include <QList>
#include <QPair>
#include <QSize>
#include <QEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace KivViewTest {

inline QString SamplePath()
{
    return QStringLiteral(KIV_SAMPLE_LOG);
}

// A mouse message as the platform sends it: the left button is held from press to release.
inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint position, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(position), QPointF(widget->mapToGlobal(position)), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void SendWheel(QWidget* widget, int delta)
{
    QWheelEvent event(QPointF(10, 10), QPointF(widget->mapToGlobal(QPoint(10, 10))), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// Calls onShow with each widget of type TDialog when it is shown, before the widget's own show
// handling (so before a progress dialog starts its load). Watches while it lives.
template <class TDialog>
class CShowWatcher final : public QObject {
public:
    explicit CShowWatcher(std::function<void(TDialog*)> onShow) : m_onShow(std::move(onShow))
    {
        qApp->installEventFilter(this);
    }
    ~CShowWatcher() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<TDialog*>(watched)) {
                m_onShow(dialog);
            }
        }
        return false;
    }

private:
    std::function<void(TDialog*)> m_onShow;
};

// An engine whose load reports the start and 10 and 50 percent on its worker, then waits until
// StopLoadLog (or at most a minute, so that a broken test never hangs) and reports the end.
class CSteeredEngineImp : public IKivLogSysMgr {
public:
    virtual ~CSteeredEngineImp() { Join(); }

    HRESULT LoadLogFile(LPCWSTR, LONG) override
    {
        m_worker = std::thread([this] {
            m_sink->OnKivLogSysMgr_LoadProgress(0, 0);
            m_sink->OnKivLogSysMgr_LoadProgress(1, 10);
            m_sink->OnKivLogSysMgr_LoadProgress(1, 50);
            {
                std::unique_lock lock(m_lock);
                m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_stops > 0; });
                // Noted before the report: the viewer may close its dialog as soon as the report
                // is posted, before this thread runs again.
                m_endReported = true;
            }
            m_sink->OnKivLogSysMgr_LoadProgress(2, 0);
        });
        return S_OK;
    }
    HRESULT StopLoadLog() override
    {
        std::lock_guard lock(m_lock);
        ++m_stops;
        m_changed.notify_all();
        return S_OK;
    }
    HRESULT WaitWorkThreads() override
    {
        Join();
        return S_OK;
    }
    HRESULT SetLoadProgress(IKivLogSysMgr_LoadProgress* sink) override
    {
        m_sink = sink;
        return S_OK;
    }
    HRESULT ClearLogInfo() override { return S_OK; }
    HRESULT GetRootObject(IKivLogSysRoot**) override { return E_FAIL; }

    int Stops()
    {
        std::lock_guard lock(m_lock);
        return m_stops;
    }
    bool EndReported()
    {
        std::lock_guard lock(m_lock);
        return m_endReported;
    }

protected:
    HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLogSysMgr::Iid, this}}, riid, ppv);
    }

private:
    void Join()
    {
        if (m_worker.joinable()) {
            m_worker.join();
        }
    }

    Kiv::CComPtr<IKivLogSysMgr_LoadProgress> m_sink;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_stops = 0;
    bool m_endReported = false;
    std::thread m_worker;
};

using CSteeredEngine = Kiv::CKivObject<CSteeredEngineImp>;

// The merged list of a view window as (thread, line number) pairs.
inline QList<QPair<DWORD, LONG>> Merged(CKivLogViewWnd& window)
{
    QList<QPair<DWORD, LONG>> lines;
    LONG count = 0;
    window.GetViewLineCount(&count);
    for (LONG i = 0; i < count; ++i) {
        const KivLogSysLineInfo* line = nullptr;
        window.GetViewLine(i, &line);
        lines << qMakePair(line->threadId, line->lineNumber);
    }
    return lines;
}

// A trace written into a temporary folder and loaded at once, and a view window that has it
// selected: first shown at shownSize when one is given, as a test that paints or scrolls needs.
// file is null (and nothing is selected) when the load failed.
struct CTraceInWindow {
    CTraceInWindow(const char* fileName, const std::string& trace, QSize shownSize = {})
        : file(LoadFile(ToQString(dir.WriteFile(fileName, trace))))
    {
        if (shownSize.isValid()) {
            window.resize(shownSize);
            window.show();
        }
        if (file) {
            window.SelectFile(file.get());
        }
    }

    KivTest::TempDir dir;
    std::unique_ptr<CKivLogFile> file;
    CKivLogViewWnd window{nullptr};
};

} // namespace KivViewTest
