// CKivLogViewWnd: the pages, the merge, the marks and visibility, the tab pages and their layout.
#include "CKivLogViewWnd.h"

#include "CKivLogFile.h"
#include "CKivLogMethodInfoCtrl.h"
#include "CKivLogThreadInfoCtrl.h"
#include "CKivLogTimeLineViewCtrl.h"
#include "CKivLogViewCtrl.h"
#include "CQtWindow.h"
#include "DialogUnits.h"
#include "ViewerIds.h"

#include "KivPlatform/Boundary.h"

#include <QApplication>
#include <QTabBar>

#include <algorithm>
#include <queue>

using Kiv::CComPtr;

namespace {

// The window's own name, which its text keeps until a file becomes current.
constexpr auto WindowName = "KivLogViewCtrl";
// The band at the top that holds the tab strip: at least this high, and high enough for the
// strip's tabs in the view font.
constexpr int TabBandHeight = 20;
// The bar between the two log views, and the time line's initial height above the thread list.
constexpr float LogSplitterBar = 8.0f;
constexpr float ThreadFirstPane = 250.0f;
// The anchors of the tab strip (left, top, right) and of the other panels.
constexpr LONG TabAnchor = Kiv::KivAnchorLeft | Kiv::KivAnchorTop | Kiv::KivAnchorRight;
constexpr LONG PaneAnchor = Kiv::KivAnchorLeft | Kiv::KivAnchorTop | Kiv::KivAnchorRight;

struct ScopedWaitCursor {
    ScopedWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~ScopedWaitCursor() { QApplication::restoreOverrideCursor(); }
    ScopedWaitCursor(const ScopedWaitCursor&) = delete;
    ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;
};

} // namespace

QEvent::Type CKivLogViewWnd::UpdatePageEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CKivLogViewWnd::CKivLogViewWnd(QWidget* parent)
    : QWidget(parent), m_font(ToQFont(LOGFONTW{})), m_tabStrip(new QTabBar(this)),
      m_timeLine(new CKivLogTimeLineViewCtrl(ViewerIds::IdcTimeLine, this)),
      m_threadList(new CKivLogThreadInfoCtrl(this, this)),
      m_logView1(new CKivLogViewCtrl(ViewerIds::IdcLogView1, this)),
      m_logView2(new CKivLogViewCtrl(ViewerIds::IdcLogView2, this)),
      m_methodList(new CKivLogMethodInfoCtrl(this, this)),
      m_currentView(m_logView2)
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcViewWnd));
    setWindowTitle(QString::fromLatin1(WindowName));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    setFocusPolicy(Qt::StrongFocus);
    // The size the view side gives the window (316 by 195 dialog units): the panels below are
    // laid out in it, and the splitters keep their proportions when the window is resized.
    resize(CDialogUnits(font()).ToPixels(316, 195));

    for (CKivLogViewCtrl* view : {m_logView1, m_logView2}) {
        view->setGeometry(0, 0, 10, 10);
        view->SetEventHandle(this);
        view->SetViewFont(m_font);
        view->Recalc();
        connect(view, &CKivLogViewCtrl::CommandRequested, this, [this](int id) { OnCommand(id); });
    }
    m_tabStrip->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcTabStrip));
    m_tabStrip->setFont(m_font);
    m_tabStrip->setDrawBase(true);
    m_tabStrip->setExpanding(false);
    m_tabStrip->addTab(QStringLiteral("ログビュー"));
    m_tabStrip->addTab(QStringLiteral("スレッド情報"));
    m_tabStrip->addTab(QStringLiteral("関数情報"));
    m_bandHeight = std::max(TabBandHeight, m_tabStrip->sizeHint().height());
    m_tabStrip->setGeometry(0, 0, width(), m_bandHeight);
    m_timeLine->setGeometry(0, m_bandHeight, width(), height() - m_bandHeight);
    m_timeLine->SetViewFont(m_font);

    Kiv::IKivResizePanelUtil* util = Kiv::GetKivResizePanelUtil();
    const HWND window = CQtWindow::Of(this);
    m_container = util->CreateContainerForWnd(window);
    const KivRectF below{0.0f, static_cast<float>(m_bandHeight), static_cast<float>(width()),
                              static_cast<float>(height())};
    const auto panelOf = [util](QWidget* widget, LONG anchor) {
        return CComPtr<Kiv::IKivResizePanel>(util->CreatePanelForWnd(CQtWindow::Of(widget), anchor));
    };
    m_container->AddPanel(panelOf(m_tabStrip, TabAnchor));

    m_logSplitter = util->CreateSplitterForWnd(window, nullptr, nullptr);
    m_logSplitter->SetRect(&below);
    m_logSplitter->SetOrientation(Kiv::KivSplitStacked);
    m_logSplitter->SetBarWidth(LogSplitterBar);
    m_logSplitter->SetPanel(0, panelOf(m_logView1, PaneAnchor));
    m_logSplitter->SetPanel(1, panelOf(m_logView2, PaneAnchor));
    m_container->AddPanel(m_logSplitter);

    m_threadSplitter = util->CreateSplitterForWnd(window, nullptr, nullptr);
    m_threadSplitter->SetRect(&below);
    m_threadSplitter->SetOrientation(Kiv::KivSplitStacked);
    m_threadSplitter->SetPanel(0, panelOf(m_timeLine, PaneAnchor));
    m_threadSplitter->SetPanel(1, panelOf(m_threadList, PaneAnchor));
    m_threadSplitter->SetFirstPaneSize(ThreadFirstPane);
    m_container->AddPanel(m_threadSplitter);

    m_methodList->setGeometry(0, m_bandHeight, width(), height() - m_bandHeight);
    m_methodPanel = panelOf(m_methodList, Kiv::KivAnchorAll);
    m_container->AddPanel(m_methodPanel);

    connect(m_tabStrip, &QTabBar::currentChanged, this, &CKivLogViewWnd::ShowTabPage);
    ShowTabPage(TabLogView);
}

CKivLogViewWnd::~CKivLogViewWnd()
{
    // The controls ask this window for lines while they live; they go first.
    delete m_logView1;
    delete m_logView2;
    m_container.Release();
}

void CKivLogViewWnd::ShowTabPage(int tab)
{
    m_methodPanel->SetVisible(tab == TabMethodInfo ? 1 : 0);
    m_threadSplitter->SetVisible(tab == TabThreadInfo ? 1 : 0);
    m_logSplitter->SetVisible(tab == TabLogView ? 1 : 0);
    if (tab == TabLogView) {
        // The views dim the lines outside the range chosen on the time line.
        std::int64_t first = 0;
        std::int64_t last = 0;
        if (m_timeLine->GetRowCount() > 0 && SUCCEEDED(m_timeLine->GetRangeTimes(&first, &last))) {
            m_logView1->SetTimeRange(first, last);
            m_logView2->SetTimeRange(first, last);
        }
        m_currentView->setFocus();
    } else if (tab == TabThreadInfo) {
        // The time line files the lines the pages already hold, in one pass over pointers.
        if (m_timeLine->GetRowCount() == 0 && m_file != nullptr) {
            ScopedWaitCursor wait;
            m_timeLine->LoadTimeLine(m_pages);
        }
        m_threadList->Refill();
        m_threadList->setFocus();
    } else {
        m_methodList->Refill();
        m_methodList->setFocus();
    }
}

void CKivLogViewWnd::SelectFile(CKivLogFile* file)
{
    if (file == m_file) {
        return;
    }
    ScopedWaitCursor wait;
    m_file = file;
    if (m_file != nullptr) {
        setWindowTitle(m_file->GetName());
    }
    RebuildPages();
    for (CKivLogViewCtrl* view : {m_logView1, m_logView2}) {
        view->Recalc();
        view->ResetSelection();
        // A range chosen on another file's time line would dim this file's lines at random.
        view->SetTimeRange(0, 0);
    }
    // Showing the tab page refills the list on it. The thread list (one row per thread) shows
    // the new file in any case; the method list, which walks every call, lets go of the old
    // file's methods and is refilled when its tab is shown.
    const int tab = m_tabStrip->currentIndex();
    if (tab != TabThreadInfo) {
        m_threadList->Refill();
    }
    if (tab != TabMethodInfo) {
        m_methodList->Clear();
    }
    ShowTabPage(tab);
}

void CKivLogViewWnd::RebuildPages()
{
    m_timeLine->LoadTimeLine(nullptr);
    m_pages.clear();
    m_visible.clear();
    IKivLogSysMgr* engine = m_file == nullptr ? nullptr : m_file->GetLogSysMgr();
    CComPtr<IKivLogSysRoot> root;
    CComPtr<Kiv::IKivListItemFolder> threads;
    LONG count = 0;
    if (engine != nullptr && SUCCEEDED(engine->GetRootObject(&root)) && root != nullptr &&
        SUCCEEDED(root->QueryInterface(IID_PPV_ARGS(&threads))) && SUCCEEDED(threads->GetChildCount(&count))) {
        ScopedWaitCursor wait;
        for (LONG i = 0; i < count; ++i) {
            CComPtr<IKivLogSysThread> thread;
            if (FAILED(threads->GetChildItem(i, IID_PPV_ARGS(&thread)))) {
                continue;
            }
            auto page = std::make_unique<CKivLogThreadPage>(thread);
            m_visible[page->GetThreadId()] = 1;
            m_pages.push_back(std::move(page));
        }
    }
    Merge();
}

void CKivLogViewWnd::Merge()
{
    // A heap of the next line of each visible page, smallest line number first and, on equal
    // numbers, the page that comes first: n lines from k pages in O(n log k).
    struct Head {
        LONG lineNumber;
        std::size_t page;
        std::size_t cursor;
    };
    const auto later = [](const Head& a, const Head& b) {
        return a.lineNumber != b.lineNumber ? a.lineNumber > b.lineNumber : a.page > b.page;
    };
    std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
    std::size_t total = 0;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        const auto& lines = m_pages[i]->GetLines();
        if (IsThreadVisible(m_pages[i]->GetThreadId()) && !lines.empty()) {
            heads.push({lines.front()->lineNumber, i, 0});
            total += lines.size();
        }
    }
    m_lines.clear();
    m_lines.reserve(total);
    while (!heads.empty()) {
        Head head = heads.top();
        heads.pop();
        const auto& lines = m_pages[head.page]->GetLines();
        m_lines.push_back(lines[head.cursor]);
        if (++head.cursor < lines.size()) {
            head.lineNumber = lines[head.cursor]->lineNumber;
            heads.push(head);
        }
    }
    m_lines.shrink_to_fit();
    RepaintViews();
}

void CKivLogViewWnd::RepaintViews()
{
    m_logView1->viewport()->update();
    m_logView2->viewport()->update();
    m_timeLine->viewport()->update();
}

void CKivLogViewWnd::RemovePageLines(const CKivLogThreadPage& page)
{
    // Both lists are in file order, so the page's lines come up in the merged list in its order.
    const auto& lines = page.GetLines();
    std::size_t next = 0;
    const auto kept = std::remove_if(m_lines.begin(), m_lines.end(), [&](const KivLogSysLineInfo* line) {
        if (next < lines.size() && line == lines[next]) {
            ++next;
            return true;
        }
        return false;
    });
    m_lines.erase(kept, m_lines.end());
    m_lines.shrink_to_fit();
    RepaintViews();
}

void CKivLogViewWnd::InsertPageLines(const CKivLogThreadPage& page)
{
    // For each of the page's lines, the merged lines before it are found by a search that
    // doubles its step from where the previous one ended, then halves back: the records read
    // are about (page lines) x log(gap), not every line of the list.
    std::vector<const KivLogSysLineInfo*> merged;
    merged.reserve(m_lines.size() + page.GetLines().size());
    std::size_t from = 0;
    for (const KivLogSysLineInfo* line : page.GetLines()) {
        const LONG number = line->lineNumber;
        std::size_t step = 1;
        std::size_t low = from;
        std::size_t high = from;
        while (high < m_lines.size() && m_lines[high]->lineNumber < number) {
            low = high + 1;
            high = std::min(m_lines.size(), high + step);
            step *= 2;
        }
        const auto end = std::lower_bound(m_lines.begin() + static_cast<std::ptrdiff_t>(low),
                                          m_lines.begin() + static_cast<std::ptrdiff_t>(high), number,
                                          [](const KivLogSysLineInfo* a, LONG n) { return a->lineNumber < n; });
        merged.insert(merged.end(), m_lines.begin() + static_cast<std::ptrdiff_t>(from), end);
        merged.push_back(line);
        from = static_cast<std::size_t>(end - m_lines.begin());
    }
    merged.insert(merged.end(), m_lines.begin() + static_cast<std::ptrdiff_t>(from), m_lines.end());
    m_lines.swap(merged);
    RepaintViews();
}

void CKivLogViewWnd::RecalcViews()
{
    for (CKivLogViewCtrl* view : {m_logView1, m_logView2}) {
        view->Recalc();
        view->UpdateScroll();
    }
}

bool CKivLogViewWnd::event(QEvent* event)
{
    if (event->type() == UpdatePageEvent()) {
        ScopedWaitCursor wait;
        RebuildPages();
        RecalcViews();
        // Rebuilding cleared the time line; while its tab shows, it shows the rebuilt model.
        if (m_tabStrip->currentIndex() == TabThreadInfo && m_file != nullptr) {
            m_timeLine->LoadTimeLine(m_pages);
        }
        return true;
    }
    return QWidget::event(event);
}

void CKivLogViewWnd::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (m_tabStrip->currentIndex() == TabLogView) {
        m_currentView->setFocus();
    }
}

void CKivLogViewWnd::ApplyFont(const LOGFONTW& font)
{
    m_font = ToQFont(font);
    for (CKivLogViewCtrl* view : {m_logView1, m_logView2}) {
        view->SetViewFont(m_font);
        view->Recalc();
    }
    m_timeLine->SetViewFont(m_font);
    m_tabStrip->setFont(m_font);
    update();
}

LONG CKivLogViewWnd::FindLinePosition(const KivLogSysLineInfo* line) const
{
    if (line == nullptr) {
        return -1;
    }
    const auto found = std::lower_bound(m_lines.begin(), m_lines.end(), line->lineNumber,
                                        [](const KivLogSysLineInfo* a, LONG number) { return a->lineNumber < number; });
    // Line numbers are unique within a file, but a record of another file may share the number.
    for (auto it = found; it != m_lines.end() && (*it)->lineNumber == line->lineNumber; ++it) {
        if (*it == line) {
            return static_cast<LONG>(it - m_lines.begin());
        }
    }
    return -1;
}

void CKivLogViewWnd::SelectBlockRange(IKivLogSysBlock* block)
{
    if (block == nullptr) {
        return;
    }
    const KivLogSysLineInfo* entry = nullptr;
    const KivLogSysLineInfo* end = nullptr;
    if (FAILED(block->GetLineInfo(&entry))) {
        entry = nullptr;
    }
    if (FAILED(block->GetEndLineInfo(&end))) {
        end = nullptr;
    }
    const auto count = static_cast<LONG>(m_lines.size());
    LONG first = entry == nullptr ? 0 : FindLinePosition(entry);
    LONG last = end == nullptr ? count : FindLinePosition(end);
    const KivLogSysLineInfo* named = entry != nullptr ? entry : end;
    if (first > last) {
        std::swap(first, last);
    }
    m_currentView->SetHighlightThread(named == nullptr ? 0 : named->threadId);
    m_currentView->SetSelectRange(first, last);
}

bool CKivLogViewWnd::ShowLine(const KivLogSysLineInfo* line)
{
    const LONG position = FindLinePosition(line);
    if (position < 0) {
        return false;
    }
    CKivLogViewCtrl* view = m_currentView;
    if (position < view->GetTopLine() || position >= view->GetTopLine() + view->GetVisibleRows() - 1) {
        view->SetTopLine(position);
        view->UpdateScroll();
    }
    view->SetHotLine(position);
    return true;
}

void CKivLogViewWnd::SetThreadVisible(DWORD threadId, bool visible)
{
    const bool was = IsThreadVisible(threadId);
    m_visible[threadId] = visible ? 1 : 0;
    // Only the thread's own lines change places; the rest of the list stays as merged.
    if (const CKivLogThreadPage* page = FindPage(threadId); page != nullptr && was != visible) {
        if (visible) {
            InsertPageLines(*page);
        } else {
            RemovePageLines(*page);
        }
    }
    RecalcViews();
}

bool CKivLogViewWnd::IsThreadVisible(DWORD threadId) const
{
    const auto found = m_visible.find(threadId);
    return found != m_visible.end() && found->second != 0;
}

HRESULT CKivLogViewWnd::GetThreadTimes(DWORD threadId, SYSTEMTIME* first, SYSTEMTIME* last) const
{
    const CKivLogThreadPage* page = FindPage(threadId);
    if (page == nullptr || first == nullptr || last == nullptr) {
        return E_INVALIDARG;
    }
    if (page->GetLines().empty()) {
        return E_FAIL;
    }
    *first = page->GetLines().front()->time;
    *last = page->GetLines().back()->time;
    return S_OK;
}

CKivLogThreadPage* CKivLogViewWnd::FindPage(DWORD threadId) const
{
    for (const auto& page : m_pages) {
        if (page->GetThreadId() == threadId) {
            return page.get();
        }
    }
    return nullptr;
}

bool CKivLogViewWnd::OnCommand(int id)
{
    if (m_currentView->OnCommand(id)) {
        return true;
    }
    if (id == ViewerIds::IdHideThread) {
        const KivLogSysLineInfo* line = nullptr;
        if (SUCCEEDED(GetViewLine(m_currentView->GetHotLine(), &line))) {
            SetThreadVisible(line->threadId, false);
        }
        return true;
    }
    return false;
}

void CKivLogViewWnd::ForgetFile(const CKivLogFile* file)
{
    if (file == m_file) {
        SelectFile(nullptr);
    }
    m_marks.erase(file);
}

HRESULT CKivLogViewWnd::GetViewLineCount(LONG* count)
{
    *count = static_cast<LONG>(m_lines.size());
    return S_OK;
}

HRESULT CKivLogViewWnd::GetViewLine(LONG index, const KivLogSysLineInfo** line)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_lines.size()) {
        return E_FAIL;
    }
    *line = m_lines[static_cast<std::size_t>(index)];
    return S_OK;
}

HRESULT CKivLogViewWnd::GetLineMark(LONG index, LONG* mark)
{
    const KivLogSysLineInfo* line = nullptr;
    if (FAILED(GetViewLine(index, &line))) {
        return E_FAIL;
    }
    const auto fileMarks = m_marks.find(m_file);
    if (fileMarks == m_marks.end()) {
        *mark = 0;
        return S_OK;
    }
    const auto found = fileMarks->second.find(line);
    *mark = found == fileMarks->second.end() ? 0 : found->second;
    return S_OK;
}

HRESULT CKivLogViewWnd::SetLineMark(LONG index, LONG mark)
{
    const KivLogSysLineInfo* line = nullptr;
    if (FAILED(GetViewLine(index, &line))) {
        return E_FAIL;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        if (mark == 0) {
            m_marks[m_file].erase(line);
        } else {
            m_marks[m_file][line] = mark;
        }
    });
}

HRESULT CKivLogViewWnd::SetActiveCtrl(CKivLogViewCtrl* ctrl)
{
    m_currentView = ctrl;
    return S_OK;
}
