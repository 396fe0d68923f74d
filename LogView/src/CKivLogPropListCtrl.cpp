// CKivLogPropListCtrl: the list's report style and its columns without a node.
#include "CKivLogPropListCtrl.h"

#include "ViewerIds.h"

#include <QHeaderView>

namespace {

// The columns shown when the node has no calls of its own (or there is no node): title, width.
struct Column {
    const char16_t* title;
    int width;
};
constexpr Column NodeColumns[] = {{u"名前", 160}, {u"値", 80}};

} // namespace

CKivLogPropListCtrl::CKivLogPropListCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcPropList));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    header()->setSectionsClickable(false);
    header()->setStretchLastSection(false);
    QStringList titles;
    for (const Column& column : NodeColumns) {
        titles << QString::fromUtf16(column.title);
    }
    setHeaderLabels(titles);
    for (int i = 0; i < static_cast<int>(std::size(NodeColumns)); ++i) {
        setColumnWidth(i, NodeColumns[i].width);
    }
}

void CKivLogPropListCtrl::ShowItem(CNaviChildItemData* item)
{
    m_item = item;
    clear();
}
