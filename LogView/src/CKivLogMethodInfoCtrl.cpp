// CKivLogMethodInfoCtrl: the rows of the method list, their totals, and their stable sort.
#include "CKivLogMethodInfoCtrl.h"

#include "CKivLogFile.h"
#include "CKivLogViewWnd.h"
#include "LogTimes.h"
#include "MethodNames.h"
#include "ReportList.h"
#include "ViewerIds.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/Boundary.h"

#include <QAbstractTableModel>
#include <QHeaderView>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <vector>

using Kiv::CComPtr;

namespace {

constexpr ReportColumn Columns[] = {{u"Name", 400}, {u"回数", 70, u"0000000"}, {u"合計時間", 100, u"00:00:00.000"}};

// The total of a method with a call that never returned. It sorts below every other total, also
// below a negative one (a file whose times go backwards).
constexpr std::int64_t EndlessTotal = std::numeric_limits<std::int64_t>::min();
constexpr auto EndlessText = "endless";
// The count of a method whose count cannot be read: shown empty, sorted below every count.
constexpr LONG UnknownCount = -1;

// One method: its info, and what the rows show and sort by.
struct MethodRow {
    CComPtr<IKivLogSysMethodInfo> info;
    QString name;
    LONG count;
    std::int64_t total;
};

// The method's total: the sum of its calls' lifetimes (end - start), EndlessTotal as soon as a
// call has no end. A call whose entry cannot be read, or with a stamp that is no calendar time,
// adds nothing.
std::int64_t TotalOf(IKivLogSysMethodInfo* info, LONG count)
{
    std::int64_t total = 0;
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysBlock> block;
        const KivLogSysLineInfo* entry = nullptr;
        if (FAILED(info->GetLineInfo(i, IID_PPV_ARGS(&block))) || FAILED(block->GetLineInfo(&entry)) ||
            entry == nullptr) {
            continue;
        }
        const KivLogSysLineInfo* end = nullptr;
        if (FAILED(block->GetEndLineInfo(&end)) || end == nullptr) {
            return EndlessTotal;
        }
        const std::optional<std::int64_t> start = FileTimeOf(entry->time);
        const std::optional<std::int64_t> stop = FileTimeOf(end->time);
        if (start && stop) {
            total += *stop - *start;
        }
    }
    return total;
}

} // namespace

// The rows: the methods in the method set's order, and the order in which the list shows them.
class CKivLogMethodInfoModel final : public QAbstractTableModel {
public:
    explicit CKivLogMethodInfoModel(QObject* parent) : QAbstractTableModel(parent) {}

    void Reset(std::vector<MethodRow> methods)
    {
        beginResetModel();
        m_methods = std::move(methods);
        m_order.resize(m_methods.size());
        std::iota(m_order.begin(), m_order.end(), std::size_t{0});
        endResetModel();
    }

    // A stable sort of the shown order by the column's key.
    void Sort(int column, bool ascending)
    {
        const auto key = [&](std::size_t index) {
            const MethodRow& row = m_methods[index];
            return column == CKivLogMethodInfoCtrl::ColumnCount ? std::int64_t{row.count} : row.total;
        };
        const auto precedes = [&](std::size_t a, std::size_t b) {
            if (column == CKivLogMethodInfoCtrl::ColumnName) {
                // UTF-16 code units, case-sensitive.
                const int order = QString::compare(m_methods[a].name, m_methods[b].name, Qt::CaseSensitive);
                return ascending ? order < 0 : order > 0;
            }
            return ascending ? key(a) < key(b) : key(a) > key(b);
        };
        emit layoutAboutToBeChanged();
        std::stable_sort(m_order.begin(), m_order.end(), precedes);
        emit layoutChanged();
    }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_order.size());
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(std::size(Columns));
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(m_order.size())) {
            return {};
        }
        const MethodRow& row = m_methods[m_order[static_cast<std::size_t>(index.row())]];
        switch (index.column()) {
        case CKivLogMethodInfoCtrl::ColumnName:
            return row.name;
        case CKivLogMethodInfoCtrl::ColumnCount:
            return row.count == UnknownCount ? QString() : QString::number(row.count);
        case CKivLogMethodInfoCtrl::ColumnTotal:
            return row.total == EndlessTotal ? QString::fromLatin1(EndlessText) : DurationText(row.total);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= static_cast<int>(std::size(Columns))) {
            return {};
        }
        return Columns[section].Title();
    }

private:
    std::vector<MethodRow> m_methods;
    std::vector<std::size_t> m_order;
};

CKivLogMethodInfoCtrl::CKivLogMethodInfoCtrl(CKivLogViewWnd* viewWnd, QWidget* parent)
    : QTableView(parent), m_viewWnd(viewWnd), m_model(new CKivLogMethodInfoModel(this))
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcMethodList));
    SetUpReportList(this);
    setModel(m_model);
    SetColumnWidths(this, Columns);
    horizontalHeader()->setSectionsClickable(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CKivLogMethodInfoCtrl::SortByColumn);
}

CKivLogMethodInfoCtrl::~CKivLogMethodInfoCtrl() = default;

void CKivLogMethodInfoCtrl::Clear()
{
    // New rows stand in the method set's order until a header is clicked again; the sort column
    // and direction stay for that click.
    m_model->Reset({});
    horizontalHeader()->setSortIndicatorShown(false);
}

HRESULT CKivLogMethodInfoCtrl::Refill()
{
    Clear();
    CKivLogFile* file = m_viewWnd == nullptr ? nullptr : m_viewWnd->GetCurrentFile();
    IKivLogSysMgr* engine = file == nullptr ? nullptr : file->GetLogSysMgr();
    if (engine == nullptr) {
        return E_FAIL;
    }
    CComPtr<IKivLogSysRoot> root;
    CComPtr<IKivLogSysMethodSet> methodSet;
    CMethodNames names;
    HRESULT hr = engine->GetRootObject(&root);
    if (SUCCEEDED(hr) && root == nullptr) {
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) {
        hr = root->GetMethodSet(IID_PPV_ARGS(&methodSet));
    }
    if (SUCCEEDED(hr)) {
        hr = names.Read(methodSet);
    }
    if (FAILED(hr)) {
        return hr;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        std::vector<MethodRow> methods;
        methods.reserve(static_cast<std::size_t>(names.Count()));
        for (LONG i = 0; i < names.Count(); ++i) {
            MethodRow row{nullptr, FromBstr(names[i]), UnknownCount, 0};
            if (FAILED(methodSet->GetMethodInfo(names[i], IID_PPV_ARGS(&row.info)))) {
                continue;
            }
            LONG count = 0;
            if (SUCCEEDED(row.info->GetLineCount(&count))) {
                row.count = count;
                row.total = TotalOf(row.info, count);
            }
            methods.push_back(std::move(row));
        }
        m_model->Reset(std::move(methods));
    });
}

void CKivLogMethodInfoCtrl::SortByColumn(int column)
{
    if (column == m_sortColumn) {
        m_sortFlag = !m_sortFlag;
    } else {
        m_sortColumn = column;
        m_sortFlag = false;
    }
    // The name column sorts ascending with the flag set, the others with it cleared.
    const bool ascending = column == ColumnName ? m_sortFlag : !m_sortFlag;
    m_model->Sort(column, ascending);
    horizontalHeader()->setSortIndicatorShown(true);
    horizontalHeader()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
