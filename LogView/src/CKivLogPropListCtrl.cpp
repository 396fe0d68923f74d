// CKivLogPropListCtrl: the columns of each node kind, the walk from a node to its calls, the
// texts of a call's row, and the model that makes a row's texts when the row is shown.
#include "CKivLogPropListCtrl.h"

#include "CKivLogFile.h"
#include "CNaviChildItemData.h"
#include "IKivLogViewApp.h"
#include "LogTimes.h"
#include "ReportList.h"
#include "ViewerIds.h"
#include "ViewerText.h"

#include <QAbstractTableModel>
#include <QItemSelectionModel>

#include <array>
#include <span>
#include <string_view>

using Kiv::CComPtr;

namespace {

// What a column shows of a call (or, for the node columns, of a node that has no calls).
enum class Field { Start, Thread, LifeTime, Result, Name, Value };

struct PropColumn {
    ReportColumn column;
    Field field;
};

// The widest usual texts of the time, thread and lifetime columns.
constexpr auto StartSample = u"[0000/00/00( 00:00:00.000)]";
constexpr auto ThreadSample = u"[00000000]";
constexpr auto LifeTimeSample = u"00:00:00.000";

// A method's calls, or the one call without end.
constexpr PropColumn CallColumns[] = {{{u"開始時間", 150, StartSample}, Field::Start},
                                      {{u"スレッド", 70, ThreadSample}, Field::Thread},
                                      {{u"生存時間", 80, LifeTimeSample}, Field::LifeTime},
                                      {{u"戻り値", 140}, Field::Result}};
// The calls of a method made by one thread: the thread goes without saying.
constexpr PropColumn ThreadCallColumns[] = {{{u"開始時間", 150, StartSample}, Field::Start},
                                            {{u"生存時間", 80, LifeTimeSample}, Field::LifeTime},
                                            {{u"戻り値", 140}, Field::Result}};
// Any other node, or none: no rows.
constexpr PropColumn NodeColumns[] = {{{u"名前", 160}, Field::Name}, {{u"値", 80}, Field::Value}};
constexpr std::size_t MaxColumns = std::size(CallColumns);

// The lifetime of a call that never returned.
constexpr auto EndlessText = "Endless";
// The return value follows "return" and the blank after it.
constexpr std::string_view ReturnWord = "return";
constexpr std::size_t ReturnValueOffset = ReturnWord.size() + 1;

std::span<const PropColumn> ColumnsOf(const CNaviChildItemData* item)
{
    switch (item == nullptr ? NaviNodeKind::Placeholder : item->GetKind()) {
    case NaviNodeKind::Method:
    case NaviNodeKind::EndlessCall:
        return CallColumns;
    case NaviNodeKind::MethodThread:
    case NaviNodeKind::ThreadMethod:
        return ThreadCallColumns;
    default:
        return NodeColumns;
    }
}

// The method info of a method node, found from the file's engine by the method's name.
CComPtr<IKivLogSysMethodInfo> MethodInfoOf(const CNaviChildItemData_Method& item)
{
    IKivLogSysMgr* engine = item.GetFile() == nullptr ? nullptr : item.GetFile()->GetLogSysMgr();
    CComPtr<IKivLogSysRoot> root;
    CComPtr<IKivLogSysMethodSet> methods;
    CComPtr<IKivLogSysMethodInfo> info;
    if (engine == nullptr || FAILED(engine->GetRootObject(&root)) || root == nullptr ||
        FAILED(root->GetMethodSet(IID_PPV_ARGS(&methods))) || methods == nullptr ||
        FAILED(methods->GetMethodInfo(item.GetMethodName(), IID_PPV_ARGS(&info)))) {
        return nullptr;
    }
    return info;
}

// The number of calls a node lists; 0 when anything on the way fails.
LONG CallCount(const CNaviChildItemData* item)
{
    if (item == nullptr) {
        return 0;
    }
    LONG count = 0;
    switch (item->GetKind()) {
    case NaviNodeKind::Method:
        if (const auto* method = dynamic_cast<const CNaviChildItemData_Method*>(item)) {
            const CComPtr<IKivLogSysMethodInfo> info = MethodInfoOf(*method);
            if (info == nullptr || FAILED(info->GetLineCount(&count))) {
                return 0;
            }
        }
        break;
    case NaviNodeKind::EndlessCall:
        return 1;
    case NaviNodeKind::MethodThread:
    case NaviNodeKind::ThreadMethod:
        if (const auto* ref = dynamic_cast<const CNaviChildItemData_MethodRefThread*>(item)) {
            const CComPtr<IKivLogSysMethodInfo> info = MethodInfoOf(*ref);
            if (info == nullptr || FAILED(info->GetThreadLineCount(ref->GetThreadId(), &count))) {
                return 0;
            }
        }
        break;
    default:
        break;
    }
    return std::max<LONG>(count, 0);
}

CComPtr<IKivLogSysBlock> CallOf(const CNaviChildItemData* item, LONG row)
{
    CComPtr<IKivLogSysBlock> block;
    if (item == nullptr || row < 0) {
        return block;
    }
    switch (item->GetKind()) {
    case NaviNodeKind::Method:
        if (const auto* method = dynamic_cast<const CNaviChildItemData_Method*>(item)) {
            if (const CComPtr<IKivLogSysMethodInfo> info = MethodInfoOf(*method);
                info == nullptr || FAILED(info->GetLineInfo(row, IID_PPV_ARGS(&block)))) {
                return nullptr;
            }
        }
        break;
    case NaviNodeKind::EndlessCall:
        if (const auto* call = dynamic_cast<const CNaviChildItemData_MethodLine*>(item); call != nullptr && row == 0) {
            block = call->GetBlock();
        }
        break;
    case NaviNodeKind::MethodThread:
    case NaviNodeKind::ThreadMethod:
        if (const auto* ref = dynamic_cast<const CNaviChildItemData_MethodRefThread*>(item)) {
            if (const CComPtr<IKivLogSysMethodInfo> info = MethodInfoOf(*ref);
                info == nullptr || FAILED(info->GetThraedLine(ref->GetThreadId(), row, IID_PPV_ARGS(&block)))) {
                return nullptr;
            }
        }
        break;
    default:
        break;
    }
    return block;
}

// The text after "return " in a return line: its first "return" (found at character starts
// only, so that a double-byte character's second byte never starts it), then the rest of the
// line. Empty without "return" or when nothing follows it.
QString ResultOf(const KivLogSysLineInfo& end)
{
    if (end.text == nullptr || end.textLength <= 0) {
        return {};
    }
    const std::string_view text(end.text, static_cast<std::size_t>(end.textLength));
    for (std::size_t i = 0; i + ReturnWord.size() <= text.size();
         i += Kiv::Platform::IsAnsiLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1) {
        if (text.compare(i, ReturnWord.size(), ReturnWord) != 0) {
            continue;
        }
        const std::size_t value = i + ReturnValueOffset;
        return value >= text.size() ? QString() : FromAnsi(text.data() + value, static_cast<LONG>(text.size() - value));
    }
    return {};
}

QString CellText(Field field, const KivLogSysLineInfo& entry, const KivLogSysLineInfo* end)
{
    const SYSTEMTIME& t = entry.time;
    switch (field) {
    case Field::Start:
        return QString::asprintf("[%04d/%02d/%02d( %02d:%02d:%02d.%03d)]", t.wYear, t.wMonth, t.wDay, t.wHour,
                                 t.wMinute, t.wSecond, t.wMilliseconds);
    case Field::Thread:
        return QString::asprintf("[%08X]", static_cast<unsigned>(entry.threadId));
    case Field::LifeTime:
        return end == nullptr ? QString::fromLatin1(EndlessText) : DurationText(entry.time, end->time);
    case Field::Result:
        return end == nullptr ? QString() : ResultOf(*end);
    default:
        return {};
    }
}

} // namespace

// The rows of the list: their number is set when a node is shown; a row's texts are made when
// the view asks for them and kept for that one row only, since a row's cells are asked for one
// after the other.
class CKivLogPropListModel final : public QAbstractTableModel {
public:
    explicit CKivLogPropListModel(QObject* parent) : QAbstractTableModel(parent) {}

    void Show(CNaviChildItemData* item)
    {
        beginResetModel();
        m_item = item;
        m_columns = ColumnsOf(item);
        m_rows = CallCount(item);
        m_cachedRow = -1;
        endResetModel();
    }
    CNaviChildItemData* GetItem() const { return m_item; }
    std::span<const PropColumn> GetColumns() const { return m_columns; }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : static_cast<int>(m_rows); }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.column() >= static_cast<int>(m_columns.size())) {
            return {};
        }
        return Row(index.row())[static_cast<std::size_t>(index.column())];
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= static_cast<int>(m_columns.size())) {
            return {};
        }
        return m_columns[static_cast<std::size_t>(section)].column.Title();
    }

private:
    // The row's texts; empty texts when its call cannot be read.
    const std::array<QString, MaxColumns>& Row(int row) const
    {
        if (row == m_cachedRow) {
            return m_cachedTexts;
        }
        m_cachedRow = row;
        m_cachedTexts = {};
        const CComPtr<IKivLogSysBlock> block = CallOf(m_item, row);
        const KivLogSysLineInfo* entry = nullptr;
        if (block == nullptr || FAILED(block->GetLineInfo(&entry)) || entry == nullptr) {
            return m_cachedTexts;
        }
        const KivLogSysLineInfo* end = nullptr;
        if (FAILED(block->GetEndLineInfo(&end))) {
            end = nullptr;
        }
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            m_cachedTexts[i] = CellText(m_columns[i].field, *entry, end);
        }
        return m_cachedTexts;
    }

    CNaviChildItemData* m_item = nullptr;
    std::span<const PropColumn> m_columns = NodeColumns;
    LONG m_rows = 0;
    mutable int m_cachedRow = -1;
    mutable std::array<QString, MaxColumns> m_cachedTexts;
};

CKivLogPropListCtrl::CKivLogPropListCtrl(QWidget* parent)
    : QTableView(parent), m_model(new CKivLogPropListModel(this))
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcPropList));
    SetUpReportList(this);
    setModel(m_model);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                if (!selected.isEmpty()) {
                    OnRowSelected(selected.indexes().front().row());
                }
            });
    ShowItem(nullptr);
}

CKivLogPropListCtrl::~CKivLogPropListCtrl() = default;

void CKivLogPropListCtrl::ShowItem(CNaviChildItemData* item)
{
    m_model->Show(item);
    const auto columns = m_model->GetColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        setColumnWidth(static_cast<int>(i), ColumnWidth(this, columns[i].column));
    }
}

CNaviChildItemData* CKivLogPropListCtrl::GetItem() const
{
    return m_model->GetItem();
}

CComPtr<IKivLogSysBlock> CKivLogPropListCtrl::GetRowBlock(int row) const
{
    return CallOf(m_model->GetItem(), row);
}

void CKivLogPropListCtrl::OnRowSelected(int row)
{
    CNaviChildItemData* item = m_model->GetItem();
    const CComPtr<IKivLogSysBlock> block = GetRowBlock(row);
    const KivLogSysLineInfo* entry = nullptr;
    if (m_app == nullptr || block == nullptr || FAILED(block->GetLineInfo(&entry))) {
        return;
    }
    m_app->ShowLogLine(item->GetFile(), entry);
    m_app->SelectLogBlock(item->GetFile(), block);
}
