#include "CKivLogFileTreeCtrl.h"

#include "CKivLogFile.h"
#include "IKivLogViewApp.h"

// Placeholder until the tree fills itself: lists each file by name.
CKivLogFileTreeCtrl::CKivLogFileTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
}

CKivLogFileTreeCtrl::~CKivLogFileTreeCtrl() = default;

HRESULT CKivLogFileTreeCtrl::AddFile(CKivLogFile* file)
{
    auto* node = new QTreeWidgetItem(this, QStringList(file->GetName()));
    node->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(file)));
    return S_OK;
}

HRESULT CKivLogFileTreeCtrl::RemoveFile(CKivLogFile* file)
{
    if (m_app != nullptr) {
        m_app->SelectLogFile(nullptr);
        m_app->ShowItemProperty(nullptr);
    }
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (topLevelItem(i)->data(0, Qt::UserRole).value<void*>() == file) {
            delete takeTopLevelItem(i);
            break;
        }
    }
    return S_OK;
}

CNaviChildItemData* CKivLogFileTreeCtrl::GetSelectedItemData() const
{
    return nullptr;
}
