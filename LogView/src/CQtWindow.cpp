// CQtWindow: the layout's window operations in terms of QWidget.
#include "CQtWindow.h"

#include <algorithm>

#include <QEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QWidget>

using Kiv::Platform::WindowCursor;
using Kiv::Platform::WindowMessage;
using Kiv::Platform::WindowRect;

HWND CQtWindow::Of(QWidget* widget)
{
    if (widget == nullptr) {
        return nullptr;
    }
    if (auto* window = widget->findChild<CQtWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
        return window;
    }
    return new CQtWindow(widget);
}

CQtWindow::CQtWindow(QWidget* widget) : QObject(widget), m_widget(widget)
{
    m_widget->setMouseTracking(true);
    m_widget->installEventFilter(this);
}

WindowRect CQtWindow::GetWindowRect()
{
    // A child's geometry is already in its parent's client coordinates; a top-level window's
    // parent is the screen, and its outer rectangle includes the frame.
    const QRect r = m_widget->isWindow() ? m_widget->frameGeometry() : m_widget->geometry();
    return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

WindowRect CQtWindow::GetClientRect()
{
    return {0, 0, m_widget->width(), m_widget->height()};
}

void CQtWindow::Move(LONG x, LONG y, LONG width, LONG height)
{
    const QSize size(std::max<LONG>(width, 0), std::max<LONG>(height, 0));
    if (m_widget->isWindow()) {
        // x and y place the frame; the size is the frame's less its borders.
        const QSize frame = m_widget->frameGeometry().size() - m_widget->size();
        m_widget->move(x, y);
        m_widget->resize((size - frame).expandedTo(QSize(0, 0)));
    } else {
        m_widget->setGeometry(QRect(QPoint(x, y), size));
    }
}

bool CQtWindow::IsVisible()
{
    return m_widget->isVisible();
}

void CQtWindow::Show(bool show)
{
    m_widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
    m_widget->setVisible(show);
}

bool CQtWindow::IsMouseCaptured()
{
    return QWidget::mouseGrabber() != nullptr;
}

void CQtWindow::SetCapture()
{
    m_widget->grabMouse();
}

void CQtWindow::ReleaseCapture()
{
    // Like the platform's call, this ends the capture of whichever window holds it.
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
}

void CQtWindow::SetCursor(WindowCursor cursor)
{
    m_widget->setCursor(cursor == WindowCursor::SizeWestEast ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    m_cursorSetNow = true;
    m_hasHookCursor = true;
}

void CQtWindow::NotifyMouse(WindowMessage message, const QPointF& position)
{
    m_cursorSetNow = false;
    const QPoint point = position.toPoint();
    NotifyMessageHooks(message, point.x(), point.y());
    if (message != WindowMessage::LeftButtonUp && !m_cursorSetNow && m_hasHookCursor) {
        m_widget->unsetCursor();
        m_hasHookCursor = false;
    }
}

bool CQtWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_widget) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Resize: {
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        NotifyMessageHooks(WindowMessage::Size, size.width(), size.height());
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // The second press of a double click is a press like any other to the layout.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            NotifyMouse(WindowMessage::LeftButtonDown, mouse->position());
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            NotifyMouse(WindowMessage::LeftButtonUp, mouse->position());
        }
        break;
    }
    case QEvent::MouseMove:
        NotifyMouse(WindowMessage::MouseMove, static_cast<QMouseEvent*>(event)->position());
        break;
    case QEvent::Leave:
        // Children show their parent's cursor unless they have their own, so a sizing cursor
        // must not outlive the pointer's stay over this widget's own area (unless dragging).
        if (m_hasHookCursor && QWidget::mouseGrabber() != m_widget) {
            m_widget->unsetCursor();
            m_hasHookCursor = false;
        }
        break;
    default:
        break;
    }
    return false; // the widget handles every message as well
}
