// The window behind the layout's HWND, and the main window laid out by the panel layout: it
// follows a resize and a drag of either splitter bar with the mouse.
#include "CKivLogInfoViewDlg.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogMainViewDlg.h"
#include "CKivLogPropListCtrl.h"
#include "CKivLogView2Dlg.h"
#include "CKivLogViewWnd.h"
#include "CQtWindow.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using Kiv::Platform::WindowMessage;

namespace {

struct Message {
    WindowMessage message;
    LONG x;
    LONG y;
    bool operator==(const Message&) const = default;
};

class CRecordingHook final : public Kiv::Platform::IWindowMessageHook {
public:
    void OnWindowMessage(Kiv::Platform::IWindow*, WindowMessage message, LONG x, LONG y) override
    {
        messages.push_back({message, x, y});
    }
    std::vector<Message> messages;
};

// The middle of the gap between two sibling widgets (side by side or stacked).
QPoint GapCentre(const QWidget* first, const QWidget* second, bool sideBySide)
{
    const QRect a = first->geometry();
    const QRect b = second->geometry();
    return sideBySide ? QPoint((a.right() + 1 + b.left()) / 2, a.center().y())
                      : QPoint(a.center().x(), (a.bottom() + 1 + b.top()) / 2);
}

// Presses the left button at from, moves by distance in two steps and lets go, all on host.
void Drag(QWidget* host, QPoint from, QPoint distance)
{
    QTest::mousePress(host, Qt::LeftButton, {}, from);
    QTest::mouseMove(host, from + distance / 2);
    QTest::mouseMove(host, from + distance);
    QTest::mouseRelease(host, Qt::LeftButton, {}, from + distance);
}

} // namespace

class LayoutTests final : public QObject {
    Q_OBJECT

private slots:
    void WindowMovesShowsAndReportsInParentCoordinates()
    {
        QWidget parent;
        parent.resize(300, 200);
        auto* child = new QWidget(&parent);
        parent.show();
        const HWND window = CQtWindow::Of(child);
        QCOMPARE(CQtWindow::Of(child), window);

        window->Move(5, 6, 70, 80);
        QCOMPARE(child->geometry(), QRect(5, 6, 70, 80));
        const Kiv::Platform::WindowRect rect = window->GetWindowRect();
        QCOMPARE((std::vector<LONG>{rect.left, rect.top, rect.right, rect.bottom}), (std::vector<LONG>{5, 6, 75, 86}));
        const Kiv::Platform::WindowRect client = window->GetClientRect();
        QCOMPARE((std::vector<LONG>{client.left, client.top, client.right, client.bottom}),
                 (std::vector<LONG>{0, 0, 70, 80}));
        window->Move(1, 1, -5, 10); // a panel squeezed to nothing gets no negative size
        QCOMPARE(child->size(), QSize(0, 10));

        window->Show(false);
        QVERIFY(!window->IsVisible());
        window->Show(true);
        QVERIFY(window->IsVisible());
        QVERIFY(child->testAttribute(Qt::WA_ShowWithoutActivating));
    }

    void WindowHandsSizeAndMouseToHooksAndCaptures()
    {
        QWidget host;
        host.resize(200, 100);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const HWND window = CQtWindow::Of(&host);
        CRecordingHook hook;
        window->AddMessageHook(&hook);

        host.resize(210, 120);
        QTest::mousePress(&host, Qt::LeftButton, {}, QPoint(10, 20));
        QTest::mouseMove(&host, QPoint(15, 25));
        QTest::mouseRelease(&host, Qt::LeftButton, {}, QPoint(15, 25));
        QTest::mousePress(&host, Qt::RightButton, {}, QPoint(3, 4)); // not the left button: not handed on
        QTest::mouseRelease(&host, Qt::RightButton, {}, QPoint(3, 4));
        window->RemoveMessageHook(&hook);
        const std::vector<Message> expected{{WindowMessage::Size, 210, 120},
                                            {WindowMessage::LeftButtonDown, 10, 20},
                                            {WindowMessage::MouseMove, 15, 25},
                                            {WindowMessage::LeftButtonUp, 15, 25}};
        std::vector<Message> seen;
        // Qt may add moves of its own (the pointer entering); only the first of each kind counts.
        for (const Message& message : hook.messages) {
            if (std::none_of(seen.begin(), seen.end(), [&](const Message& m) { return m.message == message.message; })) {
                seen.push_back(message);
            }
        }
        QCOMPARE(seen, expected);

        QVERIFY(!window->IsMouseCaptured());
        window->SetCapture();
        QCOMPARE(QWidget::mouseGrabber(), &host);
        QVERIFY(window->IsMouseCaptured());
        window->ReleaseCapture();
        QVERIFY(QWidget::mouseGrabber() == nullptr);

        // A hook's cursor lasts until a mouse message sets none.
        window->SetCursor(Kiv::Platform::WindowCursor::SizeNorthSouth);
        QCOMPARE(host.cursor().shape(), Qt::SizeVerCursor);
        QTest::mouseMove(&host, QPoint(30, 30));
        QCOMPARE(host.cursor().shape(), Qt::ArrowCursor);
    }

    // The navigation side keeps its width, the view side takes the change; inside the navigation
    // side the tree and the list share the height in proportion.
    void MainWindowFollowsResize()
    {
        CKivLogView2Dlg dialog(m_dir.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QWidget* info = dialog.GetInfoView();
        QWidget* view = dialog.GetMainView();
        QWidget* tree = dialog.GetInfoView()->GetTree();
        QWidget* list = dialog.GetInfoView()->GetPropList();
        QWidget* close = view->findChild<QPushButton*>(QStringLiteral("id1002"));
        QVERIFY(close != nullptr);
        const QRect info0 = info->geometry();
        const QRect view0 = view->geometry();
        const QRect tree0 = tree->geometry();
        const QRect list0 = list->geometry();
        const int closeTop0 = close->y();
        const int closeRightMargin0 = view->width() - close->geometry().right();

        dialog.resize(dialog.size() + QSize(200, 100));
        QTRY_COMPARE(view->width(), view0.width() + 200);
        QCOMPARE(view->height(), view0.height() + 100);
        QCOMPARE(view->pos(), view0.topLeft());
        QCOMPARE(info->geometry(), info0.adjusted(0, 0, 0, 100));
        QCOMPARE(close->y(), closeTop0); // keeps to the top ...
        QCOMPARE(view->width() - close->geometry().right(), closeRightMargin0); // ... and the right edge
        QCOMPARE(dialog.GetMainView()->GetViewWnd()->width(), view->width());
        // 100 pixels more for both, shared by the heights before (give or take a pixel).
        const double share = double(tree0.height()) / (tree0.height() + list0.height());
        QVERIFY(qAbs(tree->height() - (tree0.height() + 100 * share)) <= 1.5);
        QCOMPARE(list->geometry().bottom(), list0.bottom() + 100);
        QCOMPARE(tree->x(), tree0.x());
    }

    void SplitterBarsFollowTheMouse()
    {
        CKivLogView2Dlg dialog(m_dir.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QWidget* client = dialog.GetClientWidget();
        QWidget* info = dialog.GetInfoView();
        QWidget* view = dialog.GetMainView();
        const QRect info0 = info->geometry();
        const QRect view0 = view->geometry();

        // Side by side: the sizing cursor while the button is down, the mouse captured.
        const QPoint bar = GapCentre(info, view, true);
        QTest::mouseMove(client, bar);
        QCOMPARE(client->cursor().shape(), Qt::SizeHorCursor);
        QTest::mousePress(client, Qt::LeftButton, {}, bar);
        QCOMPARE(QWidget::mouseGrabber(), client);
        QTest::mouseMove(client, bar + QPoint(40, 0));
        QCOMPARE(client->cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseRelease(client, Qt::LeftButton, {}, bar + QPoint(40, 0));
        QVERIFY(QWidget::mouseGrabber() == nullptr);
        QCOMPARE(info->geometry(), info0.adjusted(0, 0, 40, 0));
        QCOMPARE(view->geometry(), view0.adjusted(40, 0, 0, 0));

        // Stacked, inside the navigation side.
        QWidget* tree = dialog.GetInfoView()->GetTree();
        QWidget* list = dialog.GetInfoView()->GetPropList();
        const QRect tree0 = tree->geometry();
        const QRect list0 = list->geometry();
        Drag(info, GapCentre(tree, list, false), QPoint(0, 30));
        QCOMPARE(tree->geometry(), tree0.adjusted(0, 0, 0, 30));
        QCOMPARE(list->geometry(), list0.adjusted(0, 30, 0, 0));

        // Away from the bar (the margin left of the navigation side) nothing moves.
        Drag(client, QPoint(info->x() / 2, info->geometry().center().y()), QPoint(50, 0));
        QCOMPARE(info->geometry(), info0.adjusted(0, 0, 40, 0));
    }

private:
    QTemporaryDir m_dir;
};

std::unique_ptr<QObject> MakeLayoutTests()
{
    return std::make_unique<LayoutTests>();
}

#include "LayoutTests.moc"
