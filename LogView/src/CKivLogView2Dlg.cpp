// CKivLogView2Dlg: commands, files, layout and settings of the main window.
#include "CKivLogView2Dlg.h"

#include "CAboutDlg.h"
#include "CKivLogFile.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogFindDlg.h"
#include "CKivLogOptionDlg.h"
#include "CNaviChildItemData.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogMainViewDlg.h"
#include "CKivLogPropListCtrl.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "CQtWindow.h"
#include "CViewSettings.h"
#include "DialogUnits.h"
#include "SystemPaths.h"
#include "ViewerIds.h"
#include "ViewerText.h"

#include "KivPlatform/Boundary.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

using Kiv::CComPtr;

namespace {

// The file-open dialog's filter: trace logs, or any file.
const auto OpenFilter = QStringLiteral("Kiv Log Files (*.txt *.log);;All Files (*)");

// The local files among the dropped URLs, in the order the drop lists them.
QStringList LocalFiles(const QMimeData* data)
{
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << PathFromLocalFileUrl(url);
        }
    }
    return paths;
}

} // namespace

CKivLogView2Dlg::CKivLogView2Dlg(QString settingsPath, QWidget* parent)
    : QMainWindow(parent), m_settingsPath(std::move(settingsPath)), m_viewFont(CViewSettings::ReadFont(m_settingsPath)),
      m_client(new QWidget(this))
{
    setWindowTitle(QString::fromUtf16(ProgramName));
    setAcceptDrops(true);
    setCentralWidget(m_client);
    CreateMenus();
    CreateLayout();
}

CKivLogView2Dlg::~CKivLogView2Dlg()
{
    CViewSettings::WriteFont(m_settingsPath, m_viewFont);
    // The find dialog goes before the view window it searches; the layout lets go of the
    // windows; the tree's nodes go before the files they name; each file then releases its
    // engine.
    delete m_findDlg;
    m_container.Release();
    delete m_infoView;
    delete m_mainView;
    m_files.clear();
}

void CKivLogView2Dlg::CreateMenus()
{
    // Each command's action carries its id as objectName.
    const auto addCommand = [](QMenu* menu, int id, const QString& text, const QKeySequence& shortcut = {}) {
        QAction* action = menu->addAction(text);
        action->setObjectName(ViewerIds::ObjectNameOf(id));
        action->setShortcut(shortcut);
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    connect(addCommand(file, ViewerIds::IdFileOpen, QStringLiteral("ファイルを開く(&O)")), &QAction::triggered, this,
            &CKivLogView2Dlg::OnFileOpen);
    connect(addCommand(file, ViewerIds::IdFileClose, QStringLiteral("ファイルを閉じる(&C)")), &QAction::triggered,
            this, [this] { CloseSelectedFile(); });
    file->addSeparator();
    connect(addCommand(file, ViewerIds::IdAppExit, QStringLiteral("終了(&X)")), &QAction::triggered, this,
            &QWidget::close);

    // Copy goes to the current log view, and is offered only while it has selected text.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    connect(addCommand(edit, ViewerIds::IdEditFind, QStringLiteral("検索(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F)),
            &QAction::triggered, this, &CKivLogView2Dlg::OnEditFind);
    QAction* copy = addCommand(edit, ViewerIds::IdEditCopy, QStringLiteral("コピー(&C)"), QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(copy, &QAction::triggered, this, [this] { m_mainView->GetViewWnd()->OnCommand(ViewerIds::IdEditCopy); });
    connect(edit, &QMenu::aboutToShow, this,
            [this, copy] { copy->setEnabled(m_mainView->GetViewWnd()->GetCurrentLogView()->HasSelectedText()); });
    // The shortcut works whenever the menu is closed; without a selection it copies nothing.
    connect(edit, &QMenu::aboutToHide, copy, [copy] { copy->setEnabled(true); });
    QMenu* tool = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
    connect(addCommand(tool, ViewerIds::IdToolOption, QStringLiteral("オプション(&O)")), &QAction::triggered, this,
            &CKivLogView2Dlg::OnToolOption);

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    connect(addCommand(help, ViewerIds::IdAppAbout, QStringLiteral("バージョン情報(&A)")), &QAction::triggered, this,
            &CKivLogView2Dlg::OnAppAbout);
}

void CKivLogView2Dlg::CreateLayout()
{
    // The main template measures 608 by 436 dialog units; the navigation side sits on the
    // placeholder at (4, 0, 197, 431), the view side on the one at (205, 0, 400, 431).
    const CDialogUnits units(font());
    const QSize client = units.ToPixels(608, 436);
    m_client->resize(client);
    resize(client.width(), client.height() + menuBar()->sizeHint().height());

    Kiv::IKivResizePanelUtil* util = Kiv::GetKivResizePanelUtil();
    const HWND window = CQtWindow::Of(m_client);
    m_container = util->CreateContainerForWnd(window);

    m_infoView = new CKivLogInfoViewDlg(m_client);
    m_infoView->setGeometry(units.ToPixels(4, 0, 197, 431));
    m_infoView->setAttribute(Qt::WA_ShowWithoutActivating);
    m_infoView->show();
    m_mainView = new CKivLogMainViewDlg(m_client);
    m_mainView->setGeometry(units.ToPixels(205, 0, 400, 431));
    m_mainView->setAttribute(Qt::WA_ShowWithoutActivating);
    m_mainView->show();
    m_infoView->SetApp(this);
    m_mainView->SetApp(this);
    m_mainView->GetViewWnd()->ApplyFont(m_viewFont);

    // Side by side with the navigation side first; the fixed splitter keeps that side's width
    // when the window is resized.
    const CComPtr<Kiv::IKivResizePanel> infoPanel = util->CreatePanelForWnd(CQtWindow::Of(m_infoView), Kiv::KivAnchorAll);
    const CComPtr<Kiv::IKivResizePanel> mainPanel = util->CreatePanelForWnd(CQtWindow::Of(m_mainView), Kiv::KivAnchorAll);
    const CComPtr<Kiv::IKivResizePanelSplitter> splitter = util->CreateSplitterForWnd(window, infoPanel, mainPanel);
    splitter->SetFixed(1);
    m_container->AddPanel(splitter);
}

HRESULT CKivLogView2Dlg::SelectLogFile(CKivLogFile* file)
{
    return Kiv::Platform::StatusFromExceptions([&] { m_mainView->GetViewWnd()->SelectFile(file); });
}

HRESULT CKivLogView2Dlg::ShowItemProperty(CNaviChildItemData* item)
{
    return Kiv::Platform::StatusFromExceptions([&] { m_infoView->GetPropList()->ShowItem(item); });
}

HRESULT CKivLogView2Dlg::ShowLogLine(CKivLogFile* file, const KivLogSysLineInfo* line)
{
    const HRESULT selected = SelectLogFile(file);
    if (FAILED(selected)) {
        return selected;
    }
    return m_mainView->GetViewWnd()->ShowLine(line) ? S_OK : S_FALSE;
}

HRESULT CKivLogView2Dlg::SelectLogBlock(CKivLogFile* file, IKivLogSysBlock* block)
{
    const HRESULT selected = SelectLogFile(file);
    if (FAILED(selected)) {
        return selected;
    }
    m_mainView->GetViewWnd()->SelectBlockRange(block);
    return S_OK;
}

HRESULT CKivLogView2Dlg::CloseSelectedFile()
{
    return Kiv::Platform::StatusFromExceptions([this] {
        CKivLogFileTreeCtrl* tree = m_infoView->GetTree();
        const CNaviChildItemData* selected = tree->GetSelectedItemData();
        if (selected == nullptr) {
            return;
        }
        const auto open = std::find_if(m_files.begin(), m_files.end(),
                                       [&](const auto& file) { return file.get() == selected->GetFile(); });
        if (open == m_files.end()) {
            return;
        }
        tree->RemoveFile(open->get());
        m_mainView->GetViewWnd()->ForgetFile(open->get());
        m_files.erase(open);
    });
}

void CKivLogView2Dlg::OpenLogFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        m_waiting.push_back(std::make_unique<CKivLogFile>(path));
    }
    OpenWaitingFiles();
}

void CKivLogView2Dlg::OpenLogFile(std::unique_ptr<CKivLogFile> file)
{
    m_waiting.push_back(std::move(file));
    OpenWaitingFiles();
}

void CKivLogView2Dlg::OpenWaitingFiles()
{
    // A file asked for while a load's dialog runs is left to the loop below, which is further
    // up the stack, so that files load one after the other in the order asked.
    if (m_loading) {
        return;
    }
    m_loading = true;
    while (!m_waiting.empty()) {
        std::unique_ptr<CKivLogFile> file = std::move(m_waiting.front());
        m_waiting.pop_front();
        file->Load(this);
        m_files.push_back(std::move(file));
        m_infoView->GetTree()->AddFile(m_files.back().get());
    }
    m_loading = false;
}

void CKivLogView2Dlg::OnFileOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), OpenFilter);
    if (!path.isEmpty()) {
        OpenLogFiles({path});
    }
}

void CKivLogView2Dlg::OnEditFind()
{
    CKivLogViewWnd* viewWnd = m_mainView->GetViewWnd();
    if (m_findDlg == nullptr) {
        m_findDlg = new CKivLogFindDlg(this);
    }
    m_findDlg->SetViewWnd(viewWnd);
    // A window already open keeps its text; a new one starts with the current selection.
    if (!m_findDlg->isVisible()) {
        m_findDlg->SetSearchText(viewWnd->GetCurrentLogView()->GetSelectedText());
        m_findDlg->show();
    }
}

void CKivLogView2Dlg::OnToolOption()
{
    CKivLogOptionDlg option(this);
    option.SetLogFont(m_viewFont);
    if (option.exec() == QDialog::Accepted) {
        m_viewFont = option.GetLogFont();
        m_mainView->GetViewWnd()->ApplyFont(m_viewFont);
    }
}

void CKivLogView2Dlg::OnAppAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CKivLogView2Dlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CKivLogView2Dlg::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // The files are opened once the drop is over, so that the program the files came from is
    // not kept waiting through the loads.
    QMetaObject::invokeMethod(this, [this, paths] { OpenLogFiles(paths); }, Qt::QueuedConnection);
}
