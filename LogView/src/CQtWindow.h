// The toolkit's window behind the panel layout's HWND: an IWindow over one QWidget. It lives as a
// child object of its widget (so it goes with it), watches the widget through an event filter and
// hands size changes and left-button and mouse-move messages to the layout's hooks. User-interface
// thread only.
#pragma once

#include "KivPlatform/Window.h"

#include <QObject>

class QWidget;

class CQtWindow final : public QObject, public Kiv::Platform::IWindow {
    Q_OBJECT

public:
    // The window of widget, made on first use and kept until the widget is destroyed. The widget
    // then tracks the mouse, so that a splitter bar shows its sizing cursor while hovered.
    static HWND Of(QWidget* widget);

    Kiv::Platform::WindowRect GetWindowRect() override;
    Kiv::Platform::WindowRect GetClientRect() override;
    void Move(LONG x, LONG y, LONG width, LONG height) override;
    bool IsVisible() override;
    void Show(bool show) override;
    bool IsMouseCaptured() override;
    void SetCapture() override;
    void ReleaseCapture() override;
    void SetCursor(Kiv::Platform::WindowCursor cursor) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CQtWindow(QWidget* widget);

    // Hands a mouse message to the hooks. A cursor set by a hook lasts until the next mouse
    // message that sets none, as the platform's class cursor comes back on each move.
    void NotifyMouse(Kiv::Platform::WindowMessage message, const QPointF& position);

    QWidget* m_widget;
    // Whether a hook set the cursor while the current message was handed out, and whether the
    // widget shows a cursor that a hook set.
    bool m_cursorSetNow = false;
    bool m_hasHookCursor = false;
};
