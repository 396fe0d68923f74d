// The resizable panel layout through the library's export: anchors of a container, the
// window-bound container, the splitter's arithmetic and hit test, and dragging its bar with the
// mouse messages of a fake window.
#include "KivCommon/KivResizePanel.h"

#include "FakeWindow.h"
#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

using Kiv::CComPtr;
using Kiv::IKivResizePanel;
using Kiv::IKivResizePanelContainer;
using Kiv::IKivResizePanelSplitter;
using Kiv::Platform::WindowCursor;
using Kiv::Platform::WindowMessage;
using Kiv::Platform::WindowRect;
using KivTest::FakeCapture;
using KivTest::FakeWindow;

namespace {

using Edges = std::array<LONG, 4>;
using EdgesF = std::array<float, 4>;

Edges EdgesOf(FakeWindow& window)
{
    const WindowRect r = window.GetWindowRect();
    return {r.left, r.top, r.right, r.bottom};
}

EdgesF EdgesOf(Kiv::IKivLocationOperator* object)
{
    KivRectF r{};
    EXPECT_EQ(object->GetRect(&r), S_OK);
    return {r.left, r.top, r.right, r.bottom};
}

float FirstPaneSize(IKivResizePanelSplitter* splitter)
{
    float size = -1;
    EXPECT_EQ(splitter->GetFirstPaneSize(&size), S_OK);
    return size;
}

class ResizePanelTest : public ::testing::Test {
protected:
    CComPtr<IKivResizePanel> Panel(FakeWindow& window, LONG anchor)
    {
        return m_util->CreatePanelForWnd(&window, anchor);
    }

    Kiv::IKivResizePanelUtil* m_util = Kiv::GetKivResizePanelUtil();
    FakeCapture m_capture;
};

TEST_F(ResizePanelTest, AccessorGivesOneUtility)
{
    ASSERT_NE(m_util, nullptr);
    EXPECT_EQ(Kiv::GetKivResizePanelUtil(), m_util);
}

// ---- Panels for windows ----

TEST_F(ResizePanelTest, PanelReadsAndMovesItsWindow)
{
    FakeWindow window(m_capture, {10, 20, 110, 70});
    CComPtr<IKivResizePanel> panel = Panel(window, 6);
    ASSERT_TRUE(panel);
    EXPECT_EQ(EdgesOf(panel), (EdgesF{10, 20, 110, 70}));
    LONG anchor = 0;
    ASSERT_EQ(panel->GetAnchor(&anchor), S_OK);
    EXPECT_EQ(anchor, 6);

    // Each edge is truncated before the size is taken: 110.2 - 10.7 would give a width of 99.
    const KivRectF rect{10.7f, 20.9f, 110.2f, 60.5f};
    ASSERT_EQ(panel->SetRect(&rect), S_OK);
    EXPECT_EQ(EdgesOf(window), (Edges{10, 20, 110, 60}));
}

TEST_F(ResizePanelTest, PanelShowsAndHidesItsWindowByTheLowByte)
{
    FakeWindow window(m_capture, {0, 0, 10, 10});
    CComPtr<IKivResizePanel> panel = Panel(window, 0);
    BYTE visible = 0;
    ASSERT_EQ(panel->GetVisible(&visible), S_OK);
    EXPECT_EQ(visible, 1);

    ASSERT_EQ(panel->SetVisible(0x100), S_OK);
    EXPECT_FALSE(window.IsVisible()) << "only the low byte counts";
    ASSERT_EQ(panel->GetVisible(&visible), S_OK);
    EXPECT_EQ(visible, 0);
    ASSERT_EQ(panel->SetVisible(0x101), S_OK);
    EXPECT_TRUE(window.IsVisible());
}

TEST_F(ResizePanelTest, PanelWithoutWindowFailsWithoutCrashing)
{
    CComPtr<IKivResizePanel> panel = m_util->CreatePanelForWnd(nullptr, 15);
    ASSERT_TRUE(panel);
    const HRESULT noWindow = HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    KivRectF rect{};
    EXPECT_EQ(panel->GetRect(&rect), noWindow);
    EXPECT_EQ(panel->SetRect(&rect), noWindow);
    EXPECT_EQ(panel->SetVisible(1), noWindow);
    BYTE visible = 1;
    EXPECT_EQ(panel->GetVisible(&visible), S_OK);
    EXPECT_EQ(visible, 0);
}

// ---- Interfaces and null arguments ----

TEST_F(ResizePanelTest, EachObjectAnswersItsInterfacesOnly)
{
    FakeWindow window(m_capture, {0, 0, 10, 10});
    CComPtr<IUnknown> container = m_util->CreateContainer();
    CComPtr<IUnknown> panel = Panel(window, 0).Get();
    CComPtr<IUnknown> splitter = m_util->CreateSplitterForWnd(nullptr, nullptr, nullptr);
    struct Case {
        const char* name;
        IUnknown* object;
        REFIID iid;
        HRESULT expected;
    };
    const Case cases[] = {
        {"container/unknown", container, IUnknown::Iid, S_OK},
        {"container/location", container, Kiv::IKivLocationOperator::Iid, S_OK},
        {"container/panel", container, IKivResizePanel::Iid, S_OK},
        {"container/container", container, IKivResizePanelContainer::Iid, S_OK},
        {"container/splitter", container, IKivResizePanelSplitter::Iid, E_NOINTERFACE},
        {"panel/unknown", panel, IUnknown::Iid, S_OK},
        {"panel/location", panel, Kiv::IKivLocationOperator::Iid, S_OK},
        {"panel/panel", panel, IKivResizePanel::Iid, S_OK},
        {"panel/container", panel, IKivResizePanelContainer::Iid, E_NOINTERFACE},
        {"panel/splitter", panel, IKivResizePanelSplitter::Iid, E_NOINTERFACE},
        {"splitter/unknown", splitter, IUnknown::Iid, S_OK},
        {"splitter/location", splitter, Kiv::IKivLocationOperator::Iid, S_OK},
        {"splitter/panel", splitter, IKivResizePanel::Iid, S_OK},
        {"splitter/splitter", splitter, IKivResizePanelSplitter::Iid, S_OK},
        {"splitter/container", splitter, IKivResizePanelContainer::Iid, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        void* p = nullptr;
        EXPECT_EQ(c.object->QueryInterface(c.iid, &p), c.expected) << c.name;
        EXPECT_EQ(p != nullptr, c.expected == S_OK) << c.name;
        if (p != nullptr) {
            static_cast<IUnknown*>(p)->Release();
        }
    }
}

TEST_F(ResizePanelTest, NullArgumentsGiveInvalidArg)
{
    FakeWindow window(m_capture, {0, 0, 10, 10});
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(nullptr, nullptr, nullptr);
    CComPtr<IKivResizePanel> panel = Panel(window, 0);
    for (IKivResizePanel* object : {static_cast<IKivResizePanel*>(container), static_cast<IKivResizePanel*>(splitter),
                                    panel.Get()}) {
        EXPECT_EQ(object->GetRect(nullptr), E_INVALIDARG);
        EXPECT_EQ(object->SetRect(nullptr), E_INVALIDARG);
        EXPECT_EQ(object->GetAnchor(nullptr), E_INVALIDARG);
        EXPECT_EQ(object->GetVisible(nullptr), E_INVALIDARG);
    }
    EXPECT_EQ(container->AddPanel(nullptr), E_INVALIDARG);
    EXPECT_EQ(container->RemovePanel(nullptr), E_INVALIDARG);
    EXPECT_EQ(splitter->GetOrientation(nullptr), E_INVALIDARG);
    EXPECT_EQ(splitter->GetPanel(0, IKivResizePanel::Iid, nullptr), E_INVALIDARG);
    EXPECT_EQ(splitter->HitTest({0, 0}, nullptr), E_INVALIDARG);
    EXPECT_EQ(splitter->GetBarWidth(nullptr), E_INVALIDARG);
    EXPECT_EQ(splitter->GetFirstPaneSize(nullptr), E_INVALIDARG);
    EXPECT_EQ(splitter->GetFixed(nullptr), E_INVALIDARG);
}

// ---- Container anchors ----

struct AnchorCase {
    const char* name;
    LONG anchor;
    KivRectF container;  // the container's new rectangle; it was {0, 0, 400, 300}
    Edges expected;      // the panel, which was {100, 50, 300, 150}
};

class ContainerAnchorTest : public ResizePanelTest, public ::testing::WithParamInterface<AnchorCase> {};

TEST_P(ContainerAnchorTest, PanelFollowsItsAnchoredEdges)
{
    const AnchorCase& c = GetParam();
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    const KivRectF start{0, 0, 400, 300};
    ASSERT_EQ(container->SetRect(&start), S_OK);
    FakeWindow window(m_capture, {100, 50, 300, 150});
    ASSERT_EQ(container->AddPanel(Panel(window, c.anchor)), S_OK);

    ASSERT_EQ(container->SetRect(&c.container), S_OK);
    EXPECT_EQ(EdgesOf(window), c.expected);
    EXPECT_EQ(EdgesOf(container), (EdgesF{c.container.left, c.container.top, c.container.right, c.container.bottom}));
}

INSTANTIATE_TEST_SUITE_P(
    Anchors, ContainerAnchorTest,
    ::testing::Values(AnchorCase{"StretchGrows", 15, {0, 0, 500, 350}, {100, 50, 400, 200}},
                      AnchorCase{"StretchShrinks", 15, {0, 0, 350, 260}, {100, 50, 250, 110}},
                      AnchorCase{"StretchFollowsMovedContainer", 15, {10, 20, 410, 320}, {110, 70, 310, 170}},
                      AnchorCase{"TopRightKeepsSizeAndDistance", 6, {0, 0, 500, 350}, {200, 50, 400, 150}},
                      AnchorCase{"TopRightWithMovedTop", 6, {0, 30, 380, 330}, {80, 80, 280, 180}},
                      AnchorCase{"LeftOnlyKeepsWidth", 1, {30, 40, 600, 500}, {130, 50, 330, 150}},
                      AnchorCase{"RightBottomMayGoNegative", 12, {0, 0, 200, 100}, {-100, -150, 100, -50}},
                      AnchorCase{"NoAnchorNeverMoves", 0, {-50, -60, 900, 700}, {100, 50, 300, 150}},
                      AnchorCase{"StretchClampsNegativeSize", 15, {0, 0, 150, 120}, {100, 50, 100, 50}},
                      AnchorCase{"LeftRightClampsNegativeWidth", 5, {0, 0, 150, 500}, {100, 50, 100, 150}}),
    [](const ::testing::TestParamInfo<AnchorCase>& info) { return info.param.name; });

TEST_F(ResizePanelTest, UnanchoredAxisKeepsWherePanelIsNow)
{
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    const KivRectF start{0, 0, 400, 300};
    container->SetRect(&start);
    FakeWindow window(m_capture, {100, 50, 300, 150});
    ASSERT_EQ(container->AddPanel(Panel(window, Kiv::KivAnchorTop | Kiv::KivAnchorBottom)), S_OK);
    window.Move(20, 50, 60, 100);  // moved by someone else since it was added

    const KivRectF taller{0, 0, 400, 400};
    container->SetRect(&taller);
    EXPECT_EQ(EdgesOf(window), (Edges{20, 50, 80, 250}));
}

TEST_F(ResizePanelTest, PanelIsHeldOnceAndRemovedOnce)
{
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    FakeWindow window(m_capture, {0, 0, 10, 10});
    CComPtr<IKivResizePanel> panel = Panel(window, 15);
    EXPECT_EQ(container->AddPanel(panel), S_OK);
    EXPECT_EQ(container->AddPanel(panel), S_FALSE);
    EXPECT_EQ(container->RemovePanel(panel), S_OK);
    EXPECT_EQ(container->RemovePanel(panel), S_FALSE);

    // A removed panel no longer follows.
    const KivRectF bigger{0, 0, 100, 100};
    container->SetRect(&bigger);
    EXPECT_EQ(EdgesOf(window), (Edges{0, 0, 10, 10}));
}

TEST_F(ResizePanelTest, AddPanelPassesOnTheRectangleFailure)
{
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    CComPtr<IKivResizePanel> broken = m_util->CreatePanelForWnd(nullptr, 15);
    EXPECT_EQ(container->AddPanel(broken), HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(container->RemovePanel(broken), S_FALSE) << "a refused panel is not held";
}

// A panel whose rectangle can be made unreadable after it was added.
class CFlakyPanel : public IKivResizePanel {
public:
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivResizePanel::Iid, this}}, riid, ppv);
    }
    HRESULT GetRect(KivRectF* rect) override
    {
        if (m_fail) {
            return E_FAIL;
        }
        *rect = m_rect;
        return S_OK;
    }
    HRESULT SetRect(const KivRectF* rect) override
    {
        ++m_setRectCalls;
        m_rect = *rect;
        return S_OK;
    }
    HRESULT GetAnchor(LONG* anchor) override
    {
        *anchor = 15;
        return S_OK;
    }
    HRESULT SetAnchor(LONG) override { return S_OK; }
    HRESULT GetVisible(BYTE* visible) override
    {
        *visible = 1;
        return S_OK;
    }
    HRESULT SetVisible(LONG) override { return S_OK; }

    bool m_fail = false;
    int m_setRectCalls = 0;
    KivRectF m_rect{10, 10, 20, 20};
};

TEST_F(ResizePanelTest, LayoutSkipsAPanelThatFailsAndGoesOn)
{
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    const KivRectF start{0, 0, 100, 100};
    container->SetRect(&start);
    auto* flaky = Kiv::CKivObject<CFlakyPanel>::CreateObject();
    CComPtr<IKivResizePanel> flakyRef = flaky;
    FakeWindow window(m_capture, {50, 50, 60, 60});
    ASSERT_EQ(container->AddPanel(flaky), S_OK);
    ASSERT_EQ(container->AddPanel(Panel(window, 15)), S_OK);

    flaky->m_fail = true;
    const KivRectF bigger{0, 0, 200, 200};
    ASSERT_EQ(container->SetRect(&bigger), S_OK);
    EXPECT_EQ(flaky->m_setRectCalls, 0);
    EXPECT_EQ(EdgesOf(window), (Edges{50, 50, 160, 160}));
}

TEST_F(ResizePanelTest, ContainerPassesItsVisibilityToPanels)
{
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainer();
    FakeWindow first(m_capture, {0, 0, 10, 10});
    FakeWindow second(m_capture, {0, 0, 10, 10});
    container->AddPanel(Panel(first, 0));
    ASSERT_EQ(container->SetVisible(0x200), S_OK);
    BYTE visible = 1;
    container->GetVisible(&visible);
    EXPECT_EQ(visible, 0);
    EXPECT_FALSE(first.IsVisible());

    container->AddPanel(Panel(second, 0));
    EXPECT_FALSE(second.IsVisible()) << "a panel added to a hidden container is hidden";
    container->SetVisible(1);
    EXPECT_TRUE(first.IsVisible());
    EXPECT_TRUE(second.IsVisible());
}

// ---- Window-bound containers ----

TEST_F(ResizePanelTest, ContainerForWindowFollowsItsSizeMessages)
{
    FakeWindow dialog(m_capture, {300, 200, 700, 500});
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainerForWnd(&dialog);
    ASSERT_TRUE(container);
    EXPECT_EQ(EdgesOf(container), (EdgesF{0, 0, 400, 300})) << "starts with the client rectangle";

    FakeWindow child(m_capture, {10, 10, 390, 290});
    ASSERT_EQ(container->AddPanel(Panel(child, 15)), S_OK);
    dialog.Resize(500, 400);
    EXPECT_EQ(EdgesOf(container), (EdgesF{0, 0, 500, 400}));
    EXPECT_EQ(EdgesOf(child), (Edges{10, 10, 490, 390}));

    // Mouse messages are not the container's business.
    dialog.Send(WindowMessage::LeftButtonDown, 5, 5);
    EXPECT_EQ(EdgesOf(container), (EdgesF{0, 0, 500, 400}));
}

TEST_F(ResizePanelTest, ContainersOnOneWindowAreEachNotifiedUntilReleased)
{
    FakeWindow dialog(m_capture, {0, 0, 400, 300});
    FakeWindow left(m_capture, {10, 10, 100, 290});
    FakeWindow right(m_capture, {300, 10, 390, 290});
    CComPtr<IKivResizePanelContainer> first = m_util->CreateContainerForWnd(&dialog);
    CComPtr<IKivResizePanelContainer> second = m_util->CreateContainerForWnd(&dialog);
    first->AddPanel(Panel(left, Kiv::KivAnchorLeft | Kiv::KivAnchorTop | Kiv::KivAnchorBottom));
    second->AddPanel(Panel(right, Kiv::KivAnchorRight | Kiv::KivAnchorTop | Kiv::KivAnchorBottom));

    dialog.Resize(500, 400);
    EXPECT_EQ(EdgesOf(left), (Edges{10, 10, 100, 390}));
    EXPECT_EQ(EdgesOf(right), (Edges{400, 10, 490, 390}));

    first.Release();
    dialog.Resize(600, 300);
    EXPECT_EQ(EdgesOf(left), (Edges{10, 10, 100, 390})) << "its container is gone";
    EXPECT_EQ(EdgesOf(right), (Edges{500, 10, 590, 290}));

    second.Release();
    dialog.Resize(200, 200);  // no one attached: must not reach freed objects
    EXPECT_EQ(EdgesOf(right), (Edges{500, 10, 590, 290}));
}

TEST_F(ResizePanelTest, ContainerForNoWindowFollowsNothing)
{
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainerForWnd(nullptr);
    ASSERT_TRUE(container);
    EXPECT_EQ(EdgesOf(container), (EdgesF{0, 0, 0, 0}));
}

// ---- Splitter set up from two panels ----

struct ArrangementCase {
    const char* name;
    WindowRect a;  // passed as the first panel
    WindowRect b;  // passed as the second panel
    LONG orientation;
    float bar;
    bool aFirst;
    float firstSize;
    EdgesF splitter;
};

class SplitterArrangementTest : public ResizePanelTest, public ::testing::WithParamInterface<ArrangementCase> {};

TEST_P(SplitterArrangementTest, TakesTheArrangementThePanelsHave)
{
    const ArrangementCase& c = GetParam();
    FakeWindow dialog(m_capture, {0, 0, 800, 600});
    FakeWindow a(m_capture, c.a);
    FakeWindow b(m_capture, c.b);
    CComPtr<IKivResizePanel> panelA = Panel(a, 0);
    CComPtr<IKivResizePanel> panelB = Panel(b, 0);
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(&dialog, panelA, panelB);
    ASSERT_TRUE(splitter);

    LONG orientation = -1;
    float bar = -1;
    ASSERT_EQ(splitter->GetOrientation(&orientation), S_OK);
    ASSERT_EQ(splitter->GetBarWidth(&bar), S_OK);
    EXPECT_EQ(orientation, c.orientation);
    EXPECT_EQ(bar, c.bar);
    EXPECT_EQ(FirstPaneSize(splitter), c.firstSize);
    EXPECT_EQ(EdgesOf(splitter), c.splitter);

    CComPtr<IKivResizePanel> first;
    CComPtr<IKivResizePanel> second;
    ASSERT_EQ(splitter->GetPanel(0, IID_PPV_ARGS(&first)), S_OK);
    ASSERT_EQ(splitter->GetPanel(1, IID_PPV_ARGS(&second)), S_OK);
    EXPECT_EQ(first.Get(), c.aFirst ? panelA.Get() : panelB.Get());
    EXPECT_EQ(second.Get(), c.aFirst ? panelB.Get() : panelA.Get());
    // The layout puts the panels back where they were.
    EXPECT_EQ(EdgesOf(a), (Edges{c.a.left, c.a.top, c.a.right, c.a.bottom}));
    EXPECT_EQ(EdgesOf(b), (Edges{c.b.left, c.b.top, c.b.right, c.b.bottom}));
}

INSTANTIATE_TEST_SUITE_P(
    Arrangements, SplitterArrangementTest,
    ::testing::Values(
        ArrangementCase{"SecondRight", {0, 0, 200, 100}, {206, 0, 500, 100}, 0, 6, true, 200, {0, 0, 500, 100}},
        ArrangementCase{"SecondLeft", {110, 5, 300, 95}, {10, 5, 100, 95}, 0, 10, false, 90, {10, 5, 300, 95}},
        ArrangementCase{"SecondBelow", {0, 0, 300, 120}, {0, 128, 300, 400}, 1, 8, true, 120, {0, 0, 300, 400}},
        ArrangementCase{"SecondAbove", {0, 205, 300, 400}, {0, 0, 300, 200}, 1, 5, false, 200, {0, 0, 300, 400}}),
    [](const ::testing::TestParamInfo<ArrangementCase>& info) { return info.param.name; });

TEST_F(ResizePanelTest, OverlappingPanelsAreNotSet)
{
    FakeWindow a(m_capture, {0, 0, 200, 100});
    FakeWindow b(m_capture, {150, 50, 300, 200});
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(nullptr, Panel(a, 0), Panel(b, 0));
    EXPECT_EQ(EdgesOf(splitter), (EdgesF{0, 0, 300, 200})) << "still covers both";
    CComPtr<IKivResizePanel> panel;
    EXPECT_EQ(splitter->GetPanel(0, IID_PPV_ARGS(&panel)), E_FAIL);
    EXPECT_EQ(splitter->GetPanel(1, IID_PPV_ARGS(&panel)), E_FAIL);
    EXPECT_EQ(EdgesOf(a), (Edges{0, 0, 200, 100}));
    EXPECT_EQ(EdgesOf(b), (Edges{150, 50, 300, 200}));
}

TEST_F(ResizePanelTest, SplitterStartsWithItsDefaults)
{
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(nullptr, nullptr, nullptr);
    LONG anchor = 0;
    LONG orientation = -1;
    float bar = 0;
    BYTE fixed = 1;
    BYTE visible = 0;
    splitter->GetAnchor(&anchor);
    splitter->GetOrientation(&orientation);
    splitter->GetBarWidth(&bar);
    splitter->GetFixed(&fixed);
    splitter->GetVisible(&visible);
    EXPECT_EQ(anchor, 15);
    EXPECT_EQ(orientation, 0);
    EXPECT_EQ(bar, 4.0f);
    EXPECT_EQ(fixed, 0);
    EXPECT_EQ(visible, 1);
}

// ---- Splitter resizing ----

// Two panels side by side, 200 and 294 wide with a gap of 6, in a 500-wide splitter.
class SplitterSideBySideTest : public ResizePanelTest {
protected:
    void SetUp() override { Build(); }
    // Puts the panels back and makes a new splitter from them.
    void Build()
    {
        m_left.Move(0, 0, 200, 100);
        m_right.Move(206, 0, 294, 100);
        m_splitter = m_util->CreateSplitterForWnd(&m_dialog, Panel(m_left, 0), Panel(m_right, 0));
        ASSERT_TRUE(m_splitter);
    }
    void Resize(float right, float bottom)
    {
        const KivRectF rect{0, 0, right, bottom};
        ASSERT_EQ(m_splitter->SetRect(&rect), S_OK);
    }

    FakeWindow m_dialog{m_capture, {0, 0, 800, 600}};
    FakeWindow m_left{m_capture, {}};
    FakeWindow m_right{m_capture, {}};
    CComPtr<IKivResizePanelSplitter> m_splitter;
};

TEST_F(SplitterSideBySideTest, WideningKeepsTheShareOrTheSizeWhenFixed)
{
    struct Case {
        BYTE fixed;
        float right;
        float expectedFirst;
    };
    const Case cases[] = {{0, 600, 240}, {1, 600, 200}, {0, 250, 100}, {1, 250, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fixed " << int(c.fixed) << ", width " << c.right);
        Build();
        ASSERT_EQ(m_splitter->SetFixed(c.fixed), S_OK);
        Resize(c.right, 100);
        EXPECT_EQ(FirstPaneSize(m_splitter), c.expectedFirst);
        const auto split = static_cast<LONG>(c.expectedFirst);
        EXPECT_EQ(EdgesOf(m_left), (Edges{0, 0, split, 100}));
        EXPECT_EQ(EdgesOf(m_right), (Edges{split + 6, 0, static_cast<LONG>(c.right), 100}));
    }
}

TEST_F(SplitterSideBySideTest, SetSizeBecomesTheShareKeptOnResize)
{
    ASSERT_EQ(m_splitter->SetFirstPaneSize(250), S_OK);
    Resize(600, 100);
    EXPECT_EQ(FirstPaneSize(m_splitter), 300);
    Resize(500, 100);
    EXPECT_EQ(FirstPaneSize(m_splitter), 250);
}

TEST_F(SplitterSideBySideTest, FirstPaneSizeIsLimitedToTheSplitter)
{
    struct Case {
        float bar;
        float requested;
        float expected;
    };
    const Case cases[] = {
        {6, 100, 100}, {6, 494, 494}, {6, 1000, 494}, {6, -5, 0}, {600, 50, 0}, {0, 500, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bar " << c.bar << ", size " << c.requested);
        ASSERT_EQ(m_splitter->SetBarWidth(c.bar), S_OK);
        ASSERT_EQ(m_splitter->SetFirstPaneSize(c.requested), S_OK);
        EXPECT_EQ(FirstPaneSize(m_splitter), c.expected);
        EXPECT_EQ(EdgesOf(m_left)[2], static_cast<LONG>(c.expected));
    }
}

TEST_F(SplitterSideBySideTest, InvertedRectangleIsPutRightWayRound)
{
    const KivRectF inverted{500, 100, 0, 0};
    ASSERT_EQ(m_splitter->SetRect(&inverted), S_OK);
    EXPECT_EQ(EdgesOf(m_splitter), (EdgesF{0, 0, 500, 100}));
    EXPECT_EQ(EdgesOf(m_left), (Edges{0, 0, 200, 100}));
}

TEST_F(SplitterSideBySideTest, OrientationChangeLaysOutAlongTheOtherAxis)
{
    EXPECT_EQ(m_splitter->SetOrientation(2), E_INVALIDARG);
    EXPECT_EQ(m_splitter->SetOrientation(-1), E_INVALIDARG);
    ASSERT_EQ(m_splitter->SetOrientation(1), S_OK);
    ASSERT_EQ(m_splitter->SetFirstPaneSize(40), S_OK);
    EXPECT_EQ(EdgesOf(m_left), (Edges{0, 0, 500, 40}));
    EXPECT_EQ(EdgesOf(m_right), (Edges{0, 46, 500, 100}));
    Resize(500, 200);
    EXPECT_EQ(FirstPaneSize(m_splitter), 80) << "the height keeps its share";
}

TEST_F(SplitterSideBySideTest, PanelsAreReplacedAndGetTheSplitterVisibility)
{
    EXPECT_EQ(m_splitter->SetPanel(2, nullptr), E_INVALIDARG);
    EXPECT_EQ(m_splitter->SetPanel(-1, nullptr), E_INVALIDARG);
    CComPtr<IKivResizePanel> panel;
    EXPECT_EQ(m_splitter->GetPanel(2, IID_PPV_ARGS(&panel)), E_INVALIDARG);

    ASSERT_EQ(m_splitter->SetVisible(0), S_OK);
    EXPECT_FALSE(m_left.IsVisible());
    EXPECT_FALSE(m_right.IsVisible());

    FakeWindow replacement(m_capture, {0, 0, 1, 1});
    ASSERT_EQ(m_splitter->SetPanel(1, Panel(replacement, 0)), S_OK);
    EXPECT_FALSE(replacement.IsVisible());
    EXPECT_EQ(EdgesOf(replacement), (Edges{206, 0, 500, 100})) << "laid out at once";

    ASSERT_EQ(m_splitter->SetPanel(0, nullptr), S_OK);
    EXPECT_EQ(m_splitter->GetPanel(0, IID_PPV_ARGS(&panel)), E_FAIL);
    ASSERT_EQ(m_splitter->SetVisible(1), S_OK);
    EXPECT_FALSE(m_left.IsVisible()) << "no longer the splitter's";
    EXPECT_TRUE(replacement.IsVisible());
}

// ---- Hit test ----

struct HitCase {
    LONG orientation;
    KivPointF point;
    LONG expected;
};

class SplitterHitTest : public ResizePanelTest, public ::testing::WithParamInterface<HitCase> {};

TEST_P(SplitterHitTest, PanesComeBeforeTheBar)
{
    const HitCase& c = GetParam();
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(nullptr, nullptr, nullptr);
    const KivRectF rect{100, 100, 600, 400};
    splitter->SetRect(&rect);
    splitter->SetOrientation(c.orientation);
    splitter->SetBarWidth(6);
    splitter->SetFirstPaneSize(200);
    LONG hit = -1;
    ASSERT_EQ(splitter->HitTest(c.point, &hit), S_OK);
    EXPECT_EQ(hit, c.expected);
}

// Side by side the bar spans x 300..306; one above the other it spans y 300..306.
INSTANTIATE_TEST_SUITE_P(Points, SplitterHitTest,
                         ::testing::Values(HitCase{0, {150, 200}, 1}, HitCase{0, {100, 100}, 1},
                                           HitCase{0, {300, 250}, 1}, HitCase{0, {303, 250}, 3},
                                           HitCase{0, {306, 250}, 2}, HitCase{0, {600, 400}, 2},
                                           HitCase{0, {303, 401}, 0}, HitCase{0, {303, 99}, 0},
                                           HitCase{0, {99, 200}, 0}, HitCase{0, {601, 200}, 0},
                                           HitCase{1, {150, 200}, 1}, HitCase{1, {150, 300}, 1},
                                           HitCase{1, {150, 303}, 3}, HitCase{1, {150, 306}, 2},
                                           HitCase{1, {601, 303}, 0}, HitCase{1, {350, 401}, 0}));

// ---- Dragging ----

TEST_F(SplitterSideBySideTest, DraggingTheBarMovesTheEdgeByTheMouseDistance)
{
    m_dialog.Send(WindowMessage::LeftButtonDown, 203, 50);
    EXPECT_TRUE(m_dialog.HasCapture());
    EXPECT_EQ(m_dialog.LastCursor(), WindowCursor::SizeWestEast);

    struct Step {
        LONG x;
        float expected;
    };
    // Measured from where the button went down, so coming back after hitting the limit is exact.
    const Step steps[] = {{233, 230}, {1000, 494}, {183, 180}, {-500, 0}, {213, 210}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.x);
        const int cursorSets = m_dialog.CursorSets();
        m_dialog.Send(WindowMessage::MouseMove, step.x, 70);
        EXPECT_EQ(FirstPaneSize(m_splitter), step.expected);
        EXPECT_EQ(EdgesOf(m_left)[2], static_cast<LONG>(step.expected));
        EXPECT_EQ(EdgesOf(m_right)[0], static_cast<LONG>(step.expected) + 6);
        EXPECT_EQ(m_dialog.CursorSets(), cursorSets + 1) << "the sizing cursor is kept through the drag";
        EXPECT_EQ(m_dialog.LastCursor(), WindowCursor::SizeWestEast);
    }

    m_dialog.Send(WindowMessage::LeftButtonUp, 213, 70);
    EXPECT_FALSE(m_dialog.HasCapture());
    m_dialog.Send(WindowMessage::MouseMove, 300, 70);
    EXPECT_EQ(FirstPaneSize(m_splitter), 210) << "the drag has ended";
}

TEST_F(SplitterSideBySideTest, DragChangesTheShareKeptOnResize)
{
    m_dialog.Send(WindowMessage::LeftButtonDown, 203, 50);
    m_dialog.Send(WindowMessage::MouseMove, 253, 50);
    m_dialog.Send(WindowMessage::LeftButtonUp, 253, 50);
    Resize(1000, 100);
    EXPECT_EQ(FirstPaneSize(m_splitter), 500);
}

TEST_F(SplitterSideBySideTest, ButtonDownOffTheBarStartsNoDrag)
{
    struct Case {
        const char* name;
        LONG x;
        LONG y;
        bool capturedElsewhere;
        bool hidden;
    };
    const Case cases[] = {
        {"on the first pane", 100, 50, false, false},
        {"on the second pane", 300, 50, false, false},
        {"on the bar but captured elsewhere", 203, 50, true, false},
        {"on the bar of a hidden splitter", 203, 50, false, true},
    };
    FakeWindow other(m_capture, {0, 0, 10, 10});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_capture.owner = c.capturedElsewhere ? &other : nullptr;
        m_splitter->SetVisible(c.hidden ? 0 : 1);
        const int cursorSets = m_dialog.CursorSets();
        m_dialog.Send(WindowMessage::LeftButtonDown, c.x, c.y);
        EXPECT_FALSE(m_dialog.HasCapture());
        EXPECT_EQ(m_dialog.CursorSets(), cursorSets) << "the cursor is left alone";
        m_dialog.Send(WindowMessage::MouseMove, c.x + 40, c.y);
        EXPECT_EQ(FirstPaneSize(m_splitter), 200);
    }
}

TEST_F(SplitterSideBySideTest, HoveringOverTheBarShowsTheSizingCursor)
{
    m_dialog.Send(WindowMessage::MouseMove, 100, 50);
    EXPECT_EQ(m_dialog.CursorSets(), 0);
    m_dialog.Send(WindowMessage::MouseMove, 204, 50);
    EXPECT_EQ(m_dialog.CursorSets(), 1);
    EXPECT_EQ(m_dialog.LastCursor(), WindowCursor::SizeWestEast);

    FakeWindow other(m_capture, {0, 0, 10, 10});
    m_capture.owner = &other;
    m_dialog.Send(WindowMessage::MouseMove, 204, 50);
    EXPECT_EQ(m_dialog.CursorSets(), 1) << "not while another window has the mouse";
}

TEST_F(ResizePanelTest, DraggingAHorizontalBarFollowsY)
{
    FakeWindow dialog(m_capture, {0, 0, 800, 600});
    FakeWindow top(m_capture, {0, 0, 300, 120});
    FakeWindow bottom(m_capture, {0, 124, 300, 400});
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(&dialog, Panel(top, 0), Panel(bottom, 0));
    dialog.Send(WindowMessage::LeftButtonDown, 150, 122);
    EXPECT_EQ(dialog.LastCursor(), WindowCursor::SizeNorthSouth);
    dialog.Send(WindowMessage::MouseMove, 10, 152);
    dialog.Send(WindowMessage::LeftButtonUp, 10, 152);
    EXPECT_EQ(FirstPaneSize(splitter), 150);
    EXPECT_EQ(EdgesOf(top), (Edges{0, 0, 300, 150}));
    EXPECT_EQ(EdgesOf(bottom), (Edges{0, 154, 300, 400}));
}

TEST_F(ResizePanelTest, ReleasedSplitterNoLongerHearsItsWindow)
{
    FakeWindow dialog(m_capture, {0, 0, 800, 600});
    FakeWindow left(m_capture, {0, 0, 200, 100});
    FakeWindow right(m_capture, {206, 0, 500, 100});
    CComPtr<IKivResizePanelSplitter> kept = m_util->CreateSplitterForWnd(&dialog, nullptr, nullptr);
    CComPtr<IKivResizePanelSplitter> released =
        m_util->CreateSplitterForWnd(&dialog, Panel(left, 0), Panel(right, 0));
    released.Release();
    dialog.Send(WindowMessage::LeftButtonDown, 203, 50);
    dialog.Send(WindowMessage::MouseMove, 250, 50);
    EXPECT_FALSE(dialog.HasCapture());
    EXPECT_EQ(EdgesOf(left), (Edges{0, 0, 200, 100}));
    kept.Release();
    dialog.Send(WindowMessage::MouseMove, 260, 50);  // nothing attached any more
}

// ---- A dialog laid out as the viewer does: a splitter stretched by the window's container ----

TEST_F(ResizePanelTest, SplitterInAContainerFollowsTheDialog)
{
    FakeWindow dialog(m_capture, {0, 0, 520, 120});
    FakeWindow left(m_capture, {10, 10, 210, 110});
    FakeWindow right(m_capture, {216, 10, 510, 110});
    CComPtr<IKivResizePanelContainer> container = m_util->CreateContainerForWnd(&dialog);
    CComPtr<IKivResizePanelSplitter> splitter = m_util->CreateSplitterForWnd(&dialog, Panel(left, 0), Panel(right, 0));
    ASSERT_EQ(container->AddPanel(splitter), S_OK);

    dialog.Resize(620, 220);
    EXPECT_EQ(EdgesOf(splitter), (EdgesF{10, 10, 610, 210}));
    EXPECT_EQ(EdgesOf(left), (Edges{10, 10, 250, 210}));
    EXPECT_EQ(EdgesOf(right), (Edges{256, 10, 610, 210}));
}

} // namespace
