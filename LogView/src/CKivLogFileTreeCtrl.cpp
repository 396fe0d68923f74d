// The navigation tree's nodes, their lazy filling from the file's engine, selection and closing.
#include "CKivLogFileTreeCtrl.h"

#include "CKivLogFile.h"
#include "CNaviChildItemData.h"
#include "IKivLogViewApp.h"
#include "MethodNames.h"
#include "ViewerIds.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"
#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/Boundary.h"

#include <QApplication>

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

using Kiv::CComBSTR;
using Kiv::CComPtr;

namespace {

const QString PlaceholderText = QStringLiteral("...");
const QString EndlessFolderText = QStringLiteral("エンドレス関数");

// The folders under a file node, in their order.
struct FolderEntry {
    NaviNodeKind kind;
    const char16_t* text;
    NaviImage image;
};
constexpr FolderEntry FileFolders[] = {
    {NaviNodeKind::MethodFolder, u"関数一覧", NaviImage::MethodFolder},
    {NaviNodeKind::NameSpaceFolder, u"名前空間 ( クラス )", NaviImage::NameSpaceFolder},
    {NaviNodeKind::ThreadFolder, u"スレッド一覧", NaviImage::ThreadFolder},
    {NaviNodeKind::SearchFolder, u"検索一覧", NaviImage::SearchFolder},
};

// A node of the tree; it owns its item data, so deleting the node deletes the data and
// releases every reference the data holds.
class CNaviTreeItem final : public QTreeWidgetItem {
public:
    static constexpr int ItemType = QTreeWidgetItem::UserType + 1;

    explicit CNaviTreeItem(std::unique_ptr<CNaviChildItemData> data)
        : QTreeWidgetItem(ItemType), m_data(std::move(data))
    {
    }

    CNaviChildItemData* GetData() const { return m_data.get(); }

private:
    std::unique_ptr<CNaviChildItemData> m_data;
};

// Shows the wait cursor while it lives.
class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

CComBSTR CopyBstr(BSTR text)
{
    return CComBSTR(std::u16string_view(text == nullptr ? u"" : text, SysStringLen(text)));
}

QString ThreadText(DWORD threadId)
{
    return QString::asprintf("[%08X]", static_cast<unsigned>(threadId));
}

// The tree's alphabetical order (see the header).
bool PrecedesInTree(const QString& left, const QString& right)
{
    const int folded = QString::compare(left, right, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : QString::compare(left, right, Qt::CaseSensitive) < 0;
}

enum class ChildOrder { Appended, Sorted };

// The children of one node as they are built; inserted into the node in one call at the end.
class CChildren {
public:
    CChildren(const std::array<QIcon, NaviImageCount>& images, CKivLogFile* file) : m_images(images), m_file(file) {}

    CKivLogFile* File() const { return m_file; }

    // A node with text, image and data; an expandable node gets the placeholder as its child.
    void Add(const QString& text, NaviImage image, std::unique_ptr<CNaviChildItemData> data, bool expandable)
    {
        auto node = MakeNode(text, image, std::move(data));
        if (expandable) {
            node->addChild(
                MakeNode(PlaceholderText, NaviImage::File, std::make_unique<CNaviChildItemData>(m_file, NaviNodeKind::Placeholder))
                    .release());
        }
        m_nodes.push_back({text, std::move(node)});
    }

    // Moves the children into parent, after its present children.
    void InsertInto(QTreeWidgetItem* parent, ChildOrder order)
    {
        if (order == ChildOrder::Sorted) {
            std::stable_sort(m_nodes.begin(), m_nodes.end(),
                             [](const Child& left, const Child& right) { return PrecedesInTree(left.text, right.text); });
        }
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(m_nodes.size()));
        for (Child& child : m_nodes) {
            items.append(child.node.release());
        }
        m_nodes.clear();
        parent->insertChildren(parent->childCount(), items);
    }

private:
    struct Child {
        QString text;
        std::unique_ptr<CNaviTreeItem> node;
    };

    std::unique_ptr<CNaviTreeItem> MakeNode(const QString& text, NaviImage image, std::unique_ptr<CNaviChildItemData> data) const
    {
        auto node = std::make_unique<CNaviTreeItem>(std::move(data));
        node->setText(0, text);
        node->setIcon(0, m_images[static_cast<std::size_t>(image)]);
        return node;
    }

    const std::array<QIcon, NaviImageCount>& m_images;
    CKivLogFile* m_file;
    std::vector<Child> m_nodes;
};

// The engine's method set, or null when the engine, its root or the set cannot be had.
CComPtr<IKivLogSysMethodSet> GetMethodSet(IKivLogSysMgr* engine)
{
    if (engine == nullptr) {
        return nullptr;
    }
    CComPtr<IKivLogSysRoot> root;
    if (FAILED(engine->GetRootObject(&root)) || !root) {
        return nullptr;
    }
    CComPtr<IKivLogSysMethodSet> methodSet;
    if (FAILED(root->GetMethodSet(IID_PPV_ARGS(&methodSet)))) {
        return nullptr;
    }
    return methodSet;
}

// The method information of name; null when it cannot be had.
CComPtr<IKivLogSysMethodInfo> GetMethodInfo(IKivLogSysMethodSet* methodSet, BSTR name)
{
    CComPtr<IKivLogSysMethodInfo> methodInfo;
    if (FAILED(methodSet->GetMethodInfo(name, IID_PPV_ARGS(&methodInfo)))) {
        return nullptr;
    }
    return methodInfo;
}

void AddFileFolders(CChildren& children)
{
    for (const FolderEntry& folder : FileFolders) {
        children.Add(QString::fromUtf16(folder.text), folder.image,
                     std::make_unique<CNaviChildItemData>(children.File(), folder.kind), true);
    }
}

// One method node per method name.
void AddMethods(IKivLogSysMgr* engine, CChildren& children)
{
    const auto methodSet = GetMethodSet(engine);
    CMethodNames names;
    if (!methodSet || FAILED(names.Read(methodSet))) {
        return;
    }
    for (LONG i = 0; i < names.Count(); ++i) {
        children.Add(FromBstr(names[i]), NaviImage::Method,
                     std::make_unique<CNaviChildItemData_Method>(children.File(), CopyBstr(names[i])), true);
    }
}

// One node per thread that ran the method, in the order of the method's first call on each.
void AddThreadsOfMethod(IKivLogSysMgr* engine, const CNaviChildItemData_Method& method, CChildren& children)
{
    const auto methodSet = GetMethodSet(engine);
    if (!methodSet) {
        return;
    }
    const auto methodInfo = GetMethodInfo(methodSet, method.GetMethodName());
    LONG count = 0;
    if (!methodInfo || FAILED(methodInfo->GetRefThreadCount(&count))) {
        return;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysThread> thread;
        DWORD threadId = 0;
        if (FAILED(methodInfo->GetRefThread(i, IID_PPV_ARGS(&thread))) || FAILED(thread->GetThreadId(&threadId))) {
            return;
        }
        children.Add(ThreadText(threadId), NaviImage::Thread,
                     std::make_unique<CNaviChildItemData_MethodRefThread>(
                         children.File(), NaviNodeKind::MethodThread, CopyBstr(method.GetMethodName()), threadId),
                     false);
    }
}

// One node per thread of the model, in the engine's order.
void AddThreads(IKivLogSysMgr* engine, CChildren& children)
{
    CComPtr<IKivLogSysRoot> root;
    if (engine == nullptr || FAILED(engine->GetRootObject(&root)) || !root) {
        return;
    }
    CComPtr<Kiv::IKivListItem> folder;
    LONG count = 0;
    if (FAILED(root.QueryInterface(&folder)) || FAILED(folder->GetChildCount(&count))) {
        return;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysThread> thread;
        DWORD threadId = 0;
        if (FAILED(folder->GetChildItem(i, IID_PPV_ARGS(&thread))) || FAILED(thread->GetThreadId(&threadId))) {
            return;
        }
        children.Add(ThreadText(threadId), NaviImage::Thread,
                     std::make_unique<CNaviChildItemData_Thread>(children.File(), threadId), true);
    }
}

// Whether the thread made calls of the method. Asked through the method's calling threads,
// which the engine lists once per method and keeps: counting the thread's calls instead would
// walk every call of every method again for each thread expanded.
bool RanMethod(IKivLogSysMethodInfo* methodInfo, DWORD threadId)
{
    LONG count = 0;
    if (FAILED(methodInfo->GetRefThreadCount(&count))) {
        return false;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysThread> thread;
        DWORD id = 0;
        if (FAILED(methodInfo->GetRefThread(i, IID_PPV_ARGS(&thread))) || FAILED(thread->GetThreadId(&id))) {
            return false;
        }
        if (id == threadId) {
            return true;
        }
    }
    return false;
}

// One node per method that the thread ran, in the order of the method names.
void AddMethodsOfThread(IKivLogSysMgr* engine, const CNaviChildItemData_Thread& thread, CChildren& children)
{
    const auto methodSet = GetMethodSet(engine);
    CMethodNames names;
    if (!methodSet || FAILED(names.Read(methodSet))) {
        return;
    }
    for (LONG i = 0; i < names.Count(); ++i) {
        const auto methodInfo = GetMethodInfo(methodSet, names[i]);
        if (!methodInfo) {
            return;
        }
        if (RanMethod(methodInfo, thread.GetThreadId())) {
            children.Add(FromBstr(names[i]), NaviImage::Method,
                         std::make_unique<CNaviChildItemData_MethodRefThread>(
                             children.File(), NaviNodeKind::ThreadMethod, CopyBstr(names[i]), thread.GetThreadId()),
                         false);
        }
    }
}

// The entries of a namespace node: namespaces, and methods shown by their last name part but
// holding their full names. An entry that cannot be read is passed over.
void AddNameSpaceEntries(IKivLogSysNameSpace* nameSpace, CChildren& children)
{
    LONG count = 0;
    if (nameSpace == nullptr || FAILED(nameSpace->GetChildCount(&count))) {
        return;
    }
    for (LONG i = 0; i < count; ++i) {
        CComPtr<IKivLogSysNameSpace> entry;
        CComBSTR name;
        if (FAILED(nameSpace->GetChildItem(i, IID_PPV_ARGS(&entry))) || FAILED(entry->GetName(&name))) {
            continue;
        }
        CComPtr<IKivLogSysMethodInfo> methodInfo;
        if (FAILED(entry->GetMethodInfo(&methodInfo)) || !methodInfo) {
            children.Add(FromBstr(name), NaviImage::NameSpace,
                         std::make_unique<CNaviChildItemData_NameItem>(children.File(), std::move(entry)), true);
            continue;
        }
        CComBSTR fullName;
        if (FAILED(methodInfo->GetName(&fullName))) {
            continue;
        }
        children.Add(FromBstr(name), NaviImage::Method,
                     std::make_unique<CNaviChildItemData_Method>(children.File(), std::move(fullName)), true);
    }
}

void AddNameSpaceRootEntries(IKivLogSysMgr* engine, CChildren& children)
{
    const auto methodSet = GetMethodSet(engine);
    CComPtr<IKivLogSysNameSpace> root;
    if (!methodSet || FAILED(methodSet->GetNameSpaceRoot(&root))) {
        return;
    }
    AddNameSpaceEntries(root, children);
}

// One node per call whose end line is missing, named by its method. Each call of each method is
// looked at once.
void AddEndlessCalls(IKivLogSysMgr* engine, CChildren& children)
{
    const auto methodSet = GetMethodSet(engine);
    CMethodNames names;
    if (!methodSet || FAILED(names.Read(methodSet))) {
        return;
    }
    for (LONG i = 0; i < names.Count(); ++i) {
        const auto methodInfo = GetMethodInfo(methodSet, names[i]);
        if (!methodInfo) {
            return;
        }
        LONG calls = 0;
        CComBSTR fullName;
        if (FAILED(methodInfo->GetLineCount(&calls)) || FAILED(methodInfo->GetName(&fullName))) {
            continue;
        }
        const QString text = FromBstr(fullName);
        for (LONG call = 0; call < calls; ++call) {
            CComPtr<IKivLogSysBlock> block;
            const KivLogSysLineInfo* begin = nullptr;
            const KivLogSysLineInfo* end = nullptr;
            if (FAILED(methodInfo->GetLineInfo(call, IID_PPV_ARGS(&block))) || FAILED(block->GetLineInfo(&begin))) {
                continue;
            }
            if (FAILED(block->GetEndLineInfo(&end))) {
                children.Add(text, NaviImage::Method,
                             std::make_unique<CNaviChildItemData_MethodLine>(children.File(), std::move(block)), false);
            }
        }
    }
}

} // namespace

CKivLogFileTreeCtrl::CKivLogFileTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcFileTree));
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row is one icon and one line of text; uniform heights spare the view from measuring
    // each of a folder's many thousand rows.
    setUniformRowHeights(true);
    setIconSize(QSize(NaviImageSize, NaviImageSize));
    for (int i = 0; i < NaviImageCount; ++i) {
        m_images[static_cast<std::size_t>(i)] = MakeNaviIcon(static_cast<NaviImage>(i));
    }
    connect(this, &QTreeWidget::itemExpanded, this, &CKivLogFileTreeCtrl::OnItemExpanded);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CKivLogFileTreeCtrl::OnSelectionChanged);
}

CKivLogFileTreeCtrl::~CKivLogFileTreeCtrl()
{
    // The base classes delete the nodes and may signal a selection change while they do; by
    // then this part of the object is gone, so nothing may reach its handlers.
    disconnect(this, nullptr, this, nullptr);
}

bool CKivLogFileTreeCtrl::HasWindow() const
{
    return testAttribute(Qt::WA_WState_Created);
}

IKivLogSysMgr* CKivLogFileTreeCtrl::GetLogSysMgrOf(CKivLogFile* file) const
{
    return file->GetLogSysMgr();
}

CNaviChildItemData* CKivLogFileTreeCtrl::ItemData(const QTreeWidgetItem* node)
{
    if (node == nullptr || node->type() != CNaviTreeItem::ItemType) {
        return nullptr;
    }
    return static_cast<const CNaviTreeItem*>(node)->GetData();
}

HRESULT CKivLogFileTreeCtrl::AddFile(CKivLogFile* file)
{
    if (!HasWindow()) {
        return E_FAIL;
    }
    if (file == nullptr) {
        return E_INVALIDARG;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        CChildren fileNode(m_images, file);
        fileNode.Add(file->GetName(), NaviImage::File, std::make_unique<CNaviChildItemData>(file, NaviNodeKind::File), true);
        fileNode.InsertInto(invisibleRootItem(), ChildOrder::Appended);
        // Expanding fills the node with its folders.
        topLevelItem(topLevelItemCount() - 1)->setExpanded(true);
    });
}

HRESULT CKivLogFileTreeCtrl::RemoveFile(CKivLogFile* file)
{
    if (!HasWindow()) {
        return E_FAIL;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        if (m_app != nullptr) {
            m_app->SelectLogFile(nullptr);
            m_app->ShowItemProperty(nullptr);
        }
        const CWaitCursor waitCursor;
        if (const int index = FindFileNode(file); index >= 0) {
            // Taken out of the tree first, so that the selection changes while the node is whole;
            // then deleted with its subtree and their data.
            std::unique_ptr<QTreeWidgetItem> node(takeTopLevelItem(index));
        }
    });
}

CNaviChildItemData* CKivLogFileTreeCtrl::GetSelectedItemData() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : ItemData(selected.front());
}

int CKivLogFileTreeCtrl::FindFileNode(const CKivLogFile* file) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const CNaviChildItemData* data = ItemData(topLevelItem(i));
        if (data != nullptr && data->GetKind() == NaviNodeKind::File && data->GetFile() == file) {
            return i;
        }
    }
    return -1;
}

void CKivLogFileTreeCtrl::OnItemExpanded(QTreeWidgetItem* node)
{
    const CNaviChildItemData* data = ItemData(node);
    if (data == nullptr || node->childCount() == 0) {
        return;
    }
    const CNaviChildItemData* first = ItemData(node->child(0));
    if (first == nullptr || first->GetKind() != NaviNodeKind::Placeholder) {
        return;
    }
    // A failure (memory) leaves the node with the children built so far; nothing else to do.
    Kiv::Platform::StatusFromExceptions([&] { Fill(node, *data); });
}

void CKivLogFileTreeCtrl::Fill(QTreeWidgetItem* node, const CNaviChildItemData& data)
{
    const CWaitCursor waitCursor;
    qDeleteAll(node->takeChildren());

    CKivLogFile* file = data.GetFile();
    CChildren children(m_images, file);
    ChildOrder order = ChildOrder::Appended;
    switch (data.GetKind()) {
    case NaviNodeKind::File:
        AddFileFolders(children);
        break;
    case NaviNodeKind::MethodFolder:
        AddMethods(GetLogSysMgrOf(file), children);
        order = ChildOrder::Sorted;
        break;
    case NaviNodeKind::Method:
        AddThreadsOfMethod(GetLogSysMgrOf(file), static_cast<const CNaviChildItemData_Method&>(data), children);
        break;
    case NaviNodeKind::ThreadFolder:
        AddThreads(GetLogSysMgrOf(file), children);
        break;
    case NaviNodeKind::Thread:
        AddMethodsOfThread(GetLogSysMgrOf(file), static_cast<const CNaviChildItemData_Thread&>(data), children);
        break;
    case NaviNodeKind::NameSpaceFolder:
        AddNameSpaceRootEntries(GetLogSysMgrOf(file), children);
        order = ChildOrder::Sorted;
        break;
    case NaviNodeKind::NameSpace:
        AddNameSpaceEntries(static_cast<const CNaviChildItemData_NameItem&>(data).GetNameSpace(), children);
        order = ChildOrder::Sorted;
        break;
    case NaviNodeKind::SearchFolder:
        children.Add(EndlessFolderText, NaviImage::EndlessFolder,
                     std::make_unique<CNaviChildItemData>(file, NaviNodeKind::EndlessFolder), true);
        break;
    case NaviNodeKind::EndlessFolder:
        AddEndlessCalls(GetLogSysMgrOf(file), children);
        order = ChildOrder::Sorted;
        break;
    case NaviNodeKind::EndlessCall:
    case NaviNodeKind::MethodThread:
    case NaviNodeKind::ThreadMethod:
    case NaviNodeKind::Placeholder:
        break;
    }
    children.InsertInto(node, order);
}

void CKivLogFileTreeCtrl::OnSelectionChanged()
{
    if (m_app == nullptr) {
        return;
    }
    Kiv::Platform::StatusFromExceptions([&] {
        const QList<QTreeWidgetItem*> selected = selectedItems();
        QTreeWidgetItem* node = selected.isEmpty() ? nullptr : selected.front();
        for (QTreeWidgetItem* up = node; up != nullptr; up = up->parent()) {
            const CNaviChildItemData* data = ItemData(up);
            if (data != nullptr && data->GetKind() == NaviNodeKind::File) {
                m_app->SelectLogFile(data->GetFile());
            }
        }
        m_app->ShowItemProperty(ItemData(node));
    });
}
