// CKivLogThreadInfoCtrl: the rows from the engine's threads and the view window's pages, and the
// check boxes and selection handed back to the view window.
#include "CKivLogThreadInfoCtrl.h"

#include "CKivLogFile.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "LogTimes.h"
#include "ReportList.h"
#include "ViewerIds.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"

#include <QHeaderView>

using Kiv::CComPtr;

namespace {

// The identifier column's sample leaves room for the check box in front of the identifier.
constexpr auto StampSample = u"0000/00/00 00:00:00.000";
constexpr ReportColumn Columns[] = {{u"Thread Id", 80, u"MM 00000000"},
                                    {u"最初の時間", 140, StampSample},
                                    {u"最後の時間", 140, StampSample},
                                    {u"経過時間", 75, u"00:00:00.000"},
                                    {u"出力総行数", 75, u"0000000"}};

// The item data role that carries a row's thread identifier.
constexpr int ThreadIdRole = Qt::UserRole;

QTableWidgetItem* MakeCell(const QString& text)
{
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return cell;
}

// The threads of the file's model; null when there is no model to ask.
CComPtr<Kiv::IKivListItemFolder> ThreadsOf(CKivLogFile* file)
{
    IKivLogSysMgr* engine = file == nullptr ? nullptr : file->GetLogSysMgr();
    CComPtr<IKivLogSysRoot> root;
    CComPtr<Kiv::IKivListItemFolder> threads;
    if (engine == nullptr || FAILED(engine->GetRootObject(&root)) || root == nullptr ||
        FAILED(root->QueryInterface(IID_PPV_ARGS(&threads)))) {
        return nullptr;
    }
    return threads;
}

} // namespace

CKivLogThreadInfoCtrl::CKivLogThreadInfoCtrl(CKivLogViewWnd* viewWnd, QWidget* parent)
    : QTableWidget(parent), m_viewWnd(viewWnd)
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcThreadList));
    SetUpReportList(this);
    setColumnCount(static_cast<int>(std::size(Columns)));
    QStringList titles;
    for (const ReportColumn& column : Columns) {
        titles << column.Title();
    }
    setHorizontalHeaderLabels(titles);
    SetColumnWidths(this, Columns);
    connect(this, &QTableWidget::itemChanged, this, &CKivLogThreadInfoCtrl::OnItemChanged);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                if (!selected.isEmpty()) {
                    OnRowSelected(selected.indexes().front().row());
                }
            });
}

void CKivLogThreadInfoCtrl::Refill()
{
    m_filling = true;
    // Rows of another file never stay, whatever fails below.
    setRowCount(0);
    LONG count = 0;
    const CComPtr<Kiv::IKivListItemFolder> threads = ThreadsOf(m_viewWnd->GetCurrentFile());
    if (threads == nullptr || FAILED(threads->GetChildCount(&count))) {
        m_filling = false;
        return;
    }
    const DWORD highlighted = m_viewWnd->GetCurrentLogView()->GetHighlightThread();
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysThread> thread;
        DWORD threadId = 0;
        if (FAILED(threads->GetChildItem(i, IID_PPV_ARGS(&thread))) || FAILED(thread->GetThreadId(&threadId))) {
            continue;
        }
        const int row = rowCount();
        insertRow(row);
        QTableWidgetItem* idCell = MakeCell(QString::asprintf("%08X", static_cast<unsigned>(threadId)));
        idCell->setFlags(idCell->flags() | Qt::ItemIsUserCheckable);
        idCell->setData(ThreadIdRole, QVariant::fromValue(threadId));
        idCell->setCheckState(m_viewWnd->IsThreadVisible(threadId) ? Qt::Checked : Qt::Unchecked);
        setItem(row, ColumnThreadId, idCell);
        SYSTEMTIME first{};
        SYSTEMTIME last{};
        if (SUCCEEDED(m_viewWnd->GetThreadTimes(threadId, &first, &last))) {
            setItem(row, ColumnFirstTime, MakeCell(StampText(first)));
            setItem(row, ColumnLastTime, MakeCell(StampText(last)));
            setItem(row, ColumnElapsed, MakeCell(DurationText(first, last)));
        }
        const CKivLogThreadPage* page = m_viewWnd->FindPage(threadId);
        const auto lines = page == nullptr ? std::size_t{0} : page->GetLines().size();
        setItem(row, ColumnLines, MakeCell(QString::number(lines)));
        if (threadId == highlighted) {
            selectRow(row);
        }
    }
    m_filling = false;
}

DWORD CKivLogThreadInfoCtrl::GetRowThread(int row) const
{
    const QTableWidgetItem* cell = item(row, ColumnThreadId);
    return cell == nullptr ? 0 : cell->data(ThreadIdRole).value<DWORD>();
}

void CKivLogThreadInfoCtrl::OnItemChanged(QTableWidgetItem* changed)
{
    if (m_filling || changed->column() != ColumnThreadId) {
        return;
    }
    const DWORD threadId = GetRowThread(changed->row());
    const bool checked = changed->checkState() == Qt::Checked;
    if (checked != m_viewWnd->IsThreadVisible(threadId)) {
        m_viewWnd->SetThreadVisible(threadId, checked);
    }
}

void CKivLogThreadInfoCtrl::OnRowSelected(int row)
{
    if (m_filling) {
        return;
    }
    CKivLogViewCtrl* view = m_viewWnd->GetCurrentLogView();
    view->SetHighlightThread(GetRowThread(row));
    view->viewport()->update();
}
