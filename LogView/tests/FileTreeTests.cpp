// The navigation tree over real engines loaded from the bundled sample and from small traces
// written here: the folders and their order, the texts, kinds and images of the nodes, sorted
// against appended children, lazy filling, selection, closing, and files whose load failed.
// Expectations are hand-counted facts of the traces, not the tree's own code. Runs on the
// offscreen platform.
#include "CKivLogFile.h"
#include "CKivLogFileTreeCtrl.h"
#include "CNaviChildItemData.h"
#include "IKivLogViewApp.h"
#include "NaviIcons.h"
#include "TraceFixtures.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"
#include "KivTestSupport/TempDir.h"

#include <QApplication>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using Kiv::CComBSTR;
using Kiv::CComPtr;
using KivTest::TempDir;
using namespace KivViewTest;

namespace {

NaviNodeKind KindOf(const QTreeWidgetItem* node)
{
    const CNaviChildItemData* data = CKivLogFileTreeCtrl::ItemData(node);
    return data == nullptr ? static_cast<NaviNodeKind>(-1) : data->GetKind();
}

QStringList Texts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) {
        texts << node->child(i)->text(0);
    }
    return texts;
}

QList<NaviNodeKind> Kinds(const QTreeWidgetItem* node)
{
    QList<NaviNodeKind> kinds;
    for (int i = 0; i < node->childCount(); ++i) {
        kinds << KindOf(node->child(i));
    }
    return kinds;
}

// The child with the text; null when there is none.
QTreeWidgetItem* Child(const QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; node != nullptr && i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text) {
            return node->child(i);
        }
    }
    return nullptr;
}

// The node at the path of texts below node, expanding each on the way; null when one is missing.
QTreeWidgetItem* Open(QTreeWidgetItem* node, const QStringList& path)
{
    for (const QString& text : path) {
        node = Child(node, text);
        if (node == nullptr) {
            return nullptr;
        }
        node->setExpanded(true);
    }
    return node;
}

// Not filled yet: one child, the placeholder "...".
bool IsUnfilled(const QTreeWidgetItem* node)
{
    return node->childCount() == 1 && node->child(0)->text(0) == "..." && KindOf(node->child(0)) == NaviNodeKind::Placeholder;
}

QString MethodNameOf(const QTreeWidgetItem* node)
{
    const auto* data = dynamic_cast<const CNaviChildItemData_Method*>(CKivLogFileTreeCtrl::ItemData(node));
    return data == nullptr ? QString() : QString::fromUtf16(data->GetMethodName(), SysStringLen(data->GetMethodName()));
}

QStringList MethodNamesOfChildren(const QTreeWidgetItem* node)
{
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i) {
        names << MethodNameOf(node->child(i));
    }
    return names;
}

const QString MethodFolder = QStringLiteral("関数一覧");
const QString NameSpaceFolder = QStringLiteral("名前空間 ( クラス )");
const QString ThreadFolder = QStringLiteral("スレッド一覧");
const QString SearchFolder = QStringLiteral("検索一覧");
const QString EndlessFolder = QStringLiteral("エンドレス関数");

// An engine between the tree and a file's own engine: counts the requests for the model and
// notes the cursor shown at each; can refuse them.
class CRecordingEngine : public IKivLogSysMgr {
public:
    virtual ~CRecordingEngine() = default;

    HRESULT LoadLogFile(LPCWSTR path, LONG background) override { return m_inner->LoadLogFile(path, background); }
    HRESULT StopLoadLog() override { return m_inner->StopLoadLog(); }
    HRESULT WaitWorkThreads() override { return m_inner->WaitWorkThreads(); }
    HRESULT SetLoadProgress(IKivLogSysMgr_LoadProgress* sink) override { return m_inner->SetLoadProgress(sink); }
    HRESULT ClearLogInfo() override { return m_inner->ClearLogInfo(); }
    HRESULT GetRootObject(IKivLogSysRoot** root) override
    {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        m_cursorAtRootRequests.push_back(cursor == nullptr ? std::nullopt : std::optional(cursor->shape()));
        if (m_refuse) {
            *root = nullptr;
            return E_FAIL;
        }
        return m_inner->GetRootObject(root);
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLogSysMgr::Iid, this}}, riid, ppv);
    }

    CComPtr<IKivLogSysMgr> m_inner;
    bool m_refuse = false;
    std::vector<std::optional<Qt::CursorShape>> m_cursorAtRootRequests;
};
using RecordingEngine = Kiv::CKivObject<CRecordingEngine>;

CComPtr<RecordingEngine> MakeRecordingEngine(CKivLogFile& file)
{
    CComPtr<RecordingEngine> engine(RecordingEngine::CreateObject());
    engine->m_inner = file.GetLogSysMgr();
    return engine;
}

// A tree that asks the given engine instead of the file's own.
class CTreeOverEngine : public CKivLogFileTreeCtrl {
public:
    explicit CTreeOverEngine(IKivLogSysMgr* engine) : m_engine(engine) {}

protected:
    IKivLogSysMgr* GetLogSysMgrOf(CKivLogFile*) const override { return m_engine; }

private:
    IKivLogSysMgr* m_engine;
};

// The main dialog's side, recording each call with the number of file nodes at that moment.
class CRecordingApp final : public IKivLogViewApp {
public:
    enum class Op { SelectLogFile, ShowItemProperty, Other };
    struct Call {
        Op op;
        CKivLogFile* file;
        CNaviChildItemData* item;
        int fileNodes;
    };

    explicit CRecordingApp(const QTreeWidget& tree) : m_tree(tree) {}

    HRESULT SelectLogFile(CKivLogFile* file) override { return Record(Op::SelectLogFile, file, nullptr); }
    HRESULT ShowItemProperty(CNaviChildItemData* item) override { return Record(Op::ShowItemProperty, nullptr, item); }
    HRESULT ShowLogLine(CKivLogFile* file, const KivLogSysLineInfo*) override { return Record(Op::Other, file, nullptr); }
    HRESULT SelectLogBlock(CKivLogFile* file, IKivLogSysBlock*) override { return Record(Op::Other, file, nullptr); }
    LOGFONTW* GetViewFont() override { return &m_font; }
    HRESULT CloseSelectedFile() override { return Record(Op::Other, nullptr, nullptr); }

    std::vector<Call> m_calls;

private:
    HRESULT Record(Op op, CKivLogFile* file, CNaviChildItemData* item)
    {
        m_calls.push_back({op, file, item, m_tree.topLevelItemCount()});
        return S_OK;
    }

    const QTreeWidget& m_tree;
    LOGFONTW m_font;
};

// The number of references on an object, read without changing it.
ULONG ReferencesOn(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

} // namespace

Q_DECLARE_METATYPE(NaviNodeKind)

class FileTreeTests : public QObject {
    Q_OBJECT

private slots:
    void SampleFileShowsItsFoldersThreadsMethodsNamespacesAndEndlessCalls();
    void EveryNodeShowsTheImageOfItsKind();
    void ImagesAreNineDistinctPictures();
    void SortedFoldersIgnoreCaseFirstWhileAppendedOnesKeepTheEngineOrder();
    void ChildrenAreAskedForOnlyOnFirstExpansionUnderTheWaitCursor();
    void FileWithoutTracedMethodsStillListsItsThreads();
    void SameShortNameInTwoNamespacesKeepsEachFullName();
    void CallWithoutEndIsListedOncePerCall();
    void SelectionMakesTheNodesFileCurrentThenShowsTheNode();
    void RemoveFileClearsTheViewFirstThenDeletesTheNodeAndItsData();
    void TreeWithoutWindowRefusesFiles();
    void FailedLoadShowsFourFoldersThatExpandToNothing_data();
    void FailedLoadShowsFourFoldersThatExpandToNothing();
    void RefusedModelLeavesFoldersEmpty();
};

void FileTreeTests::SampleFileShowsItsFoldersThreadsMethodsNamespacesAndEndlessCalls()
{
    const auto file = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);

    QCOMPARE(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);
    QCOMPARE(fileNode->text(0), QStringLiteral("sample.log"));
    QCOMPARE(KindOf(fileNode), NaviNodeKind::File);
    QCOMPARE(CKivLogFileTreeCtrl::ItemData(fileNode)->GetFile(), file.get());
    QVERIFY(fileNode->isExpanded());
    QCOMPARE(Texts(fileNode), QStringList({MethodFolder, NameSpaceFolder, ThreadFolder, SearchFolder}));
    QCOMPARE(Kinds(fileNode), QList<NaviNodeKind>({NaviNodeKind::MethodFolder, NaviNodeKind::NameSpaceFolder,
                                                   NaviNodeKind::ThreadFolder, NaviNodeKind::SearchFolder}));
    for (int i = 0; i < fileNode->childCount(); ++i) {
        QVERIFY(IsUnfilled(fileNode->child(i)));
        QCOMPARE(CKivLogFileTreeCtrl::ItemData(fileNode->child(i))->GetFile(), file.get());
    }

    // The eight methods of the sample, ignoring case in alphabetical order.
    const QStringList methods = {
        " Demo::Net::CHttpClient::Connect()", " Demo::Net::CHttpClient::Get()", " Demo::Store::CCache::Fetch()",
        " Demo::Store::CCache::FlushForever()", " Demo::Store::CCache::Insert()", " Demo::Store::CCache::Lookup()",
        " Demo::Stuck()", " Demo::Worker()"};
    QTreeWidgetItem* methodFolder = Open(fileNode, {MethodFolder});
    QCOMPARE(Texts(methodFolder), methods);
    QCOMPARE(MethodNamesOfChildren(methodFolder), methods);
    QCOMPARE(Kinds(methodFolder), QList<NaviNodeKind>(methods.size(), NaviNodeKind::Method));
    for (int i = 0; i < methodFolder->childCount(); ++i) {
        QVERIFY(IsUnfilled(methodFolder->child(i)));
    }

    // Insert() ran first on 38A2, then 38A4, 38A3 and 38A5 (lines 2, 30, 38 and 63).
    QTreeWidgetItem* insert = Open(methodFolder, {" Demo::Store::CCache::Insert()"});
    QCOMPARE(Texts(insert), QStringList({"[000038A2]", "[000038A4]", "[000038A3]", "[000038A5]"}));
    QCOMPARE(Kinds(insert), QList<NaviNodeKind>(4, NaviNodeKind::MethodThread));
    QCOMPARE(MethodNamesOfChildren(insert), QStringList(4, " Demo::Store::CCache::Insert()"));
    const std::vector<DWORD> insertThreads = {0x38A2, 0x38A4, 0x38A3, 0x38A5};
    for (int i = 0; i < insert->childCount(); ++i) {
        const auto* data = dynamic_cast<CNaviChildItemData_MethodRefThread*>(CKivLogFileTreeCtrl::ItemData(insert->child(i)));
        QVERIFY(data != nullptr);
        QCOMPARE(data->GetThreadId(), insertThreads[static_cast<std::size_t>(i)]);
        QCOMPARE(insert->child(i)->childCount(), 0);
    }

    // Threads in the order of their first lines.
    QTreeWidgetItem* threadFolder = Open(fileNode, {ThreadFolder});
    QCOMPARE(Texts(threadFolder), QStringList({"[000038A2]", "[000038A3]", "[000038A4]", "[000038A5]"}));
    QCOMPARE(Kinds(threadFolder), QList<NaviNodeKind>(4, NaviNodeKind::Thread));
    const std::vector<DWORD> threads = {0x38A2, 0x38A3, 0x38A4, 0x38A5};
    for (int i = 0; i < threadFolder->childCount(); ++i) {
        const auto* data = dynamic_cast<CNaviChildItemData_Thread*>(CKivLogFileTreeCtrl::ItemData(threadFolder->child(i)));
        QVERIFY(data != nullptr);
        QCOMPARE(data->GetThreadId(), threads[static_cast<std::size_t>(i)]);
        QVERIFY(IsUnfilled(threadFolder->child(i)));
    }
    // Thread 38A2 ran Stuck(), Insert() and FlushForever().
    QTreeWidgetItem* stuckThread = Open(threadFolder, {"[000038A2]"});
    const QStringList stuckThreadMethods = {" Demo::Store::CCache::FlushForever()", " Demo::Store::CCache::Insert()",
                                            " Demo::Stuck()"};
    QCOMPARE(Texts(stuckThread), stuckThreadMethods);
    QCOMPARE(MethodNamesOfChildren(stuckThread), stuckThreadMethods);
    QCOMPARE(Kinds(stuckThread), QList<NaviNodeKind>(3, NaviNodeKind::ThreadMethod));
    for (int i = 0; i < stuckThread->childCount(); ++i) {
        const auto* data = dynamic_cast<CNaviChildItemData_MethodRefThread*>(CKivLogFileTreeCtrl::ItemData(stuckThread->child(i)));
        QVERIFY(data != nullptr);
        QCOMPARE(data->GetThreadId(), DWORD{0x38A2});
    }

    // Namespaces by their short names, methods holding their full names.
    QTreeWidgetItem* demo = Open(fileNode, {NameSpaceFolder, " Demo"});
    QVERIFY(demo != nullptr);
    QCOMPARE(KindOf(demo), NaviNodeKind::NameSpace);
    const auto* demoData = dynamic_cast<CNaviChildItemData_NameItem*>(CKivLogFileTreeCtrl::ItemData(demo));
    QVERIFY(demoData != nullptr);
    CComBSTR demoName;
    QCOMPARE(demoData->GetNameSpace()->GetName(&demoName), S_OK);
    QCOMPARE(QString::fromUtf16(demoName, demoName.Length()), QStringLiteral(" Demo"));
    QCOMPARE(Texts(demo), QStringList({"Net", "Store", "Stuck()", "Worker()"}));
    QCOMPARE(Kinds(demo), QList<NaviNodeKind>({NaviNodeKind::NameSpace, NaviNodeKind::NameSpace, NaviNodeKind::Method,
                                               NaviNodeKind::Method}));
    QCOMPARE(MethodNameOf(demo->child(2)), QStringLiteral(" Demo::Stuck()"));
    QCOMPARE(MethodNameOf(demo->child(3)), QStringLiteral(" Demo::Worker()"));
    QTreeWidgetItem* cache = Open(demo, {"Store", "CCache"});
    QVERIFY(cache != nullptr);
    QCOMPARE(Texts(cache), QStringList({"Fetch()", "FlushForever()", "Insert()", "Lookup()"}));
    QCOMPARE(MethodNamesOfChildren(cache),
             QStringList({" Demo::Store::CCache::Fetch()", " Demo::Store::CCache::FlushForever()",
                          " Demo::Store::CCache::Insert()", " Demo::Store::CCache::Lookup()"}));
    QTreeWidgetItem* client = Open(demo, {"Net", "CHttpClient"});
    QVERIFY(client != nullptr);
    QCOMPARE(Texts(client), QStringList({"Connect()", "Get()"}));
    QCOMPARE(MethodNamesOfChildren(client),
             QStringList({" Demo::Net::CHttpClient::Connect()", " Demo::Net::CHttpClient::Get()"}));
    // A method under a namespace lists its threads like one under the method list.
    QTreeWidgetItem* stuck = Open(demo, {"Stuck()"});
    QCOMPARE(Texts(stuck), QStringList({"[000038A2]"}));

    // Thread 38A2 never returned from Stuck() (line 1) nor from FlushForever() (line 5).
    QTreeWidgetItem* searchFolder = Open(fileNode, {SearchFolder});
    QCOMPARE(Texts(searchFolder), QStringList({EndlessFolder}));
    QCOMPARE(Kinds(searchFolder), QList<NaviNodeKind>({NaviNodeKind::EndlessFolder}));
    QTreeWidgetItem* endless = Open(searchFolder, {EndlessFolder});
    QCOMPARE(Texts(endless), QStringList({" Demo::Store::CCache::FlushForever()", " Demo::Stuck()"}));
    QCOMPARE(Kinds(endless), QList<NaviNodeKind>(2, NaviNodeKind::EndlessCall));
    const std::vector<LONG> endlessLines = {5, 1};
    for (int i = 0; i < endless->childCount(); ++i) {
        const auto* data = dynamic_cast<CNaviChildItemData_MethodLine*>(CKivLogFileTreeCtrl::ItemData(endless->child(i)));
        QVERIFY(data != nullptr);
        const KivLogSysLineInfo* begin = nullptr;
        const KivLogSysLineInfo* end = nullptr;
        QCOMPARE(data->GetBlock()->GetLineInfo(&begin), S_OK);
        QCOMPARE(begin->lineNumber, endlessLines[static_cast<std::size_t>(i)]);
        QCOMPARE(data->GetBlock()->GetEndLineInfo(&end), E_FAIL);
        QCOMPARE(endless->child(i)->childCount(), 0);
    }
}

void FileTreeTests::EveryNodeShowsTheImageOfItsKind()
{
    const auto file = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);
    // Nodes of every kind: methods and their threads, threads and their methods, namespaces,
    // endless calls, and the placeholders still below most of them.
    Open(fileNode, {MethodFolder, " Demo::Stuck()"});
    Open(fileNode, {ThreadFolder, "[000038A2]"});
    Open(fileNode, {NameSpaceFolder, " Demo"});
    Open(fileNode, {SearchFolder, EndlessFolder});

    const std::map<NaviNodeKind, NaviImage> imageOfKind = {
        {NaviNodeKind::File, NaviImage::File},
        {NaviNodeKind::MethodFolder, NaviImage::MethodFolder},
        {NaviNodeKind::Method, NaviImage::Method},
        {NaviNodeKind::EndlessCall, NaviImage::Method},
        {NaviNodeKind::MethodThread, NaviImage::Thread},
        {NaviNodeKind::ThreadFolder, NaviImage::ThreadFolder},
        {NaviNodeKind::Thread, NaviImage::Thread},
        {NaviNodeKind::ThreadMethod, NaviImage::Method},
        {NaviNodeKind::NameSpaceFolder, NaviImage::NameSpaceFolder},
        {NaviNodeKind::NameSpace, NaviImage::NameSpace},
        {NaviNodeKind::SearchFolder, NaviImage::SearchFolder},
        {NaviNodeKind::EndlessFolder, NaviImage::EndlessFolder},
        {NaviNodeKind::Placeholder, NaviImage::File},
    };
    std::set<NaviNodeKind> seen;
    const std::function<void(QTreeWidgetItem*)> check = [&](QTreeWidgetItem* node) {
        const NaviNodeKind kind = KindOf(node);
        QVERIFY(imageOfKind.count(kind) == 1);
        seen.insert(kind);
        const QImage shown = node->icon(0).pixmap(QSize(NaviImageSize, NaviImageSize)).toImage();
        const QImage expected = DrawNaviImage(imageOfKind.at(kind)).toImage();
        QVERIFY2(shown.convertToFormat(QImage::Format_ARGB32) == expected.convertToFormat(QImage::Format_ARGB32),
                 qPrintable(node->text(0)));
        for (int i = 0; i < node->childCount(); ++i) {
            check(node->child(i));
        }
    };
    check(fileNode);
    QCOMPARE(seen.size(), imageOfKind.size());
}

void FileTreeTests::ImagesAreNineDistinctPictures()
{
    std::vector<QImage> images;
    for (int i = 0; i < NaviImageCount; ++i) {
        const QImage image = DrawNaviImage(static_cast<NaviImage>(i)).toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(16, 16));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
            }
        }
        // Each picture covers a fair part of its square, and leaves some of it transparent.
        QVERIFY2(opaque > 40 && opaque < 256, qPrintable(QString::number(i)));
        for (const QImage& other : images) {
            QVERIFY(image != other);
        }
        images.push_back(image);
    }
}

void FileTreeTests::SortedFoldersIgnoreCaseFirstWhileAppendedOnesKeepTheEngineOrder()
{
    // The engine orders method names byte by byte: " Alpha" " Beta" " _x" " alpha" " beta".
    TempDir dir;
    std::string trace;
    for (const char* name : {"beta", "Alpha", "_x", "alpha", "Beta"}) {
        trace += EnterLine(0x7, 0, name) + ReturnLine(0x7, 0, name);
    }
    const auto file = LoadFile(ToQString(dir.WriteFile("case.log", trace)));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);

    QCOMPARE(Texts(Open(tree.topLevelItem(0), {MethodFolder})),
             QStringList({" _x()", " Alpha()", " alpha()", " Beta()", " beta()"}));
    QCOMPARE(Texts(Open(tree.topLevelItem(0), {NameSpaceFolder})),
             QStringList({" _x()", " Alpha()", " alpha()", " Beta()", " beta()"}));
    QCOMPARE(Texts(Open(tree.topLevelItem(0), {ThreadFolder, "[00000007]"})),
             QStringList({" Alpha()", " Beta()", " _x()", " alpha()", " beta()"}));
}

void FileTreeTests::ChildrenAreAskedForOnlyOnFirstExpansionUnderTheWaitCursor()
{
    const auto file = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    QVERIFY(file);
    const auto engine = MakeRecordingEngine(*file);
    CTreeOverEngine tree(engine);
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);
    // The file's folders come without the engine; the folders themselves wait for expansion.
    QCOMPARE(engine->m_cursorAtRootRequests.size(), std::size_t{0});
    for (int i = 0; i < fileNode->childCount(); ++i) {
        QVERIFY(IsUnfilled(fileNode->child(i)));
    }

    QTreeWidgetItem* threadFolder = Open(fileNode, {ThreadFolder});
    QCOMPARE(engine->m_cursorAtRootRequests.size(), std::size_t{1});
    QCOMPARE(engine->m_cursorAtRootRequests[0], std::optional(Qt::WaitCursor));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QCOMPARE(threadFolder->childCount(), 4);
    std::vector<QTreeWidgetItem*> threads;
    for (int i = 0; i < threadFolder->childCount(); ++i) {
        threads.push_back(threadFolder->child(i));
        QVERIFY(IsUnfilled(threadFolder->child(i)));
    }

    // Collapsed and expanded again, a filled node keeps its children and asks nothing.
    threadFolder->setExpanded(false);
    threadFolder->setExpanded(true);
    QCOMPARE(engine->m_cursorAtRootRequests.size(), std::size_t{1});
    QCOMPARE(static_cast<std::size_t>(threadFolder->childCount()), threads.size());
    for (int i = 0; i < threadFolder->childCount(); ++i) {
        QCOMPARE(threadFolder->child(i), threads[static_cast<std::size_t>(i)]);
    }

    Open(fileNode, {MethodFolder});
    QCOMPARE(engine->m_cursorAtRootRequests.size(), std::size_t{2});
    QCOMPARE(engine->m_cursorAtRootRequests[1], std::optional(Qt::WaitCursor));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void FileTreeTests::FileWithoutTracedMethodsStillListsItsThreads()
{
    TempDir dir;
    const std::string trace = MessageLine(0x1A2B, 0, "starting") + MessageLine(0xABCDEF12, 0, "working") +
                              MessageLine(0x1A2B, 0, "done");
    const auto file = LoadFile(ToQString(dir.WriteFile("plain.log", trace)));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);

    QCOMPARE(Open(fileNode, {MethodFolder})->childCount(), 0);
    QCOMPARE(Open(fileNode, {NameSpaceFolder})->childCount(), 0);
    QCOMPARE(Open(fileNode, {SearchFolder, EndlessFolder})->childCount(), 0);
    // Eight upper-case hexadecimal digits in brackets.
    QTreeWidgetItem* threadFolder = Open(fileNode, {ThreadFolder});
    QCOMPARE(Texts(threadFolder), QStringList({"[00001A2B]", "[ABCDEF12]"}));
    QCOMPARE(Open(threadFolder, {"[00001A2B]"})->childCount(), 0);
}

void FileTreeTests::SameShortNameInTwoNamespacesKeepsEachFullName()
{
    TempDir dir;
    const std::string trace = EnterLine(0x1, 0, "B::Run") + ReturnLine(0x1, 0, "B::Run") + EnterLine(0x1, 0, "A::Run") +
                              ReturnLine(0x1, 0, "A::Run");
    const auto file = LoadFile(ToQString(dir.WriteFile("run.log", trace)));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);

    QCOMPARE(Texts(Open(fileNode, {MethodFolder})), QStringList({" A::Run()", " B::Run()"}));
    QTreeWidgetItem* nameSpaces = Open(fileNode, {NameSpaceFolder});
    QCOMPARE(Texts(nameSpaces), QStringList({" A", " B"}));
    for (const char* space : {" A", " B"}) {
        QTreeWidgetItem* run = Open(nameSpaces, {space, "Run()"});
        QVERIFY(run != nullptr);
        QCOMPARE(KindOf(run), NaviNodeKind::Method);
        QCOMPARE(MethodNameOf(run), QString(space) + "::Run()");
        QCOMPARE(Texts(run), QStringList({"[00000001]"}));
    }
}

void FileTreeTests::CallWithoutEndIsListedOncePerCall()
{
    // Thread 10 calls Loop three times, each inside the last, and never returns (lines 1 to 3);
    // thread 20 returns from Loop (lines 4, 5) and never from Hang (line 6).
    TempDir dir;
    const std::string trace = EnterLine(0x10, 0, "Loop") + EnterLine(0x10, 1, "Loop") + EnterLine(0x10, 2, "Loop") +
                              EnterLine(0x20, 0, "Loop") + ReturnLine(0x20, 0, "Loop") + EnterLine(0x20, 0, "Hang") +
                              MessageLine(0x20, 1, "waiting");
    const auto file = LoadFile(ToQString(dir.WriteFile("loop.log", trace)));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);

    QTreeWidgetItem* endless = Open(tree.topLevelItem(0), {SearchFolder, EndlessFolder});
    QCOMPARE(Texts(endless), QStringList({" Hang()", " Loop()", " Loop()", " Loop()"}));
    const std::vector<LONG> lines = {6, 1, 2, 3};
    for (int i = 0; i < endless->childCount(); ++i) {
        const auto* data = dynamic_cast<CNaviChildItemData_MethodLine*>(CKivLogFileTreeCtrl::ItemData(endless->child(i)));
        QVERIFY(data != nullptr);
        const KivLogSysLineInfo* begin = nullptr;
        QCOMPARE(data->GetBlock()->GetLineInfo(&begin), S_OK);
        QCOMPARE(begin->lineNumber, lines[static_cast<std::size_t>(i)]);
    }
}

void FileTreeTests::SelectionMakesTheNodesFileCurrentThenShowsTheNode()
{
    TempDir dir;
    const auto first = LoadFile(ToQString(dir.WriteFile("first.log", EnterLine(0x1, 0, "F") + ReturnLine(0x1, 0, "F"))));
    const auto second = LoadFile(ToQString(dir.WriteFile("second.log", EnterLine(0x2, 0, "S") + ReturnLine(0x2, 0, "S"))));
    QVERIFY(first && second);
    CKivLogFileTreeCtrl tree;
    CRecordingApp app(tree);
    tree.SetApp(&app);
    tree.show();
    QCOMPARE(tree.AddFile(first.get()), S_OK);
    QCOMPARE(tree.AddFile(second.get()), S_OK);
    QVERIFY(app.m_calls.empty());

    struct Case {
        QTreeWidgetItem* node;
        CKivLogFile* file;
    };
    QTreeWidgetItem* deepUnderSecond = Open(tree.topLevelItem(1), {ThreadFolder, "[00000002]", " S()"});
    QVERIFY(deepUnderSecond != nullptr);
    for (const Case& selected : {Case{deepUnderSecond, second.get()}, Case{tree.topLevelItem(0), first.get()},
                                 Case{Open(tree.topLevelItem(1), {MethodFolder}), second.get()}}) {
        app.m_calls.clear();
        tree.setCurrentItem(selected.node);
        CNaviChildItemData* data = CKivLogFileTreeCtrl::ItemData(selected.node);
        QCOMPARE(app.m_calls.size(), std::size_t{2});
        QCOMPARE(app.m_calls[0].op, CRecordingApp::Op::SelectLogFile);
        QCOMPARE(app.m_calls[0].file, selected.file);
        QCOMPARE(app.m_calls[1].op, CRecordingApp::Op::ShowItemProperty);
        QCOMPARE(app.m_calls[1].item, data);
        QCOMPARE(tree.GetSelectedItemData(), data);
    }
    // The file node itself is shown as a file.
    tree.setCurrentItem(tree.topLevelItem(0));
    QCOMPARE(tree.GetSelectedItemData()->GetKind(), NaviNodeKind::File);

    // Nothing selected: no file is made current, and the property list is emptied.
    app.m_calls.clear();
    tree.clearSelection();
    QCOMPARE(app.m_calls.size(), std::size_t{1});
    QCOMPARE(app.m_calls[0].op, CRecordingApp::Op::ShowItemProperty);
    QCOMPARE(app.m_calls[0].item, nullptr);
    QCOMPARE(tree.GetSelectedItemData(), nullptr);
}

void FileTreeTests::RemoveFileClearsTheViewFirstThenDeletesTheNodeAndItsData()
{
    const auto first = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    const auto second = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    QVERIFY(first && second);
    CKivLogFileTreeCtrl tree;
    CRecordingApp app(tree);
    tree.SetApp(&app);
    tree.show();
    QCOMPARE(tree.AddFile(first.get()), S_OK);
    QCOMPARE(tree.AddFile(second.get()), S_OK);

    // A namespace node of the first file holds a reference on the engine's namespace entry.
    QTreeWidgetItem* store = Open(tree.topLevelItem(0), {NameSpaceFolder, " Demo", "Store"});
    QVERIFY(store != nullptr);
    CComPtr<IKivLogSysNameSpace> entry =
        dynamic_cast<CNaviChildItemData_NameItem*>(CKivLogFileTreeCtrl::ItemData(store))->GetNameSpace();
    const ULONG referencesWithNode = ReferencesOn(entry);
    tree.setCurrentItem(store);

    app.m_calls.clear();
    QCOMPARE(tree.RemoveFile(first.get()), S_OK);
    QVERIFY(app.m_calls.size() >= 2);
    QCOMPARE(app.m_calls[0].op, CRecordingApp::Op::SelectLogFile);
    QCOMPARE(app.m_calls[0].file, nullptr);
    QCOMPARE(app.m_calls[0].fileNodes, 2);
    QCOMPARE(app.m_calls[1].op, CRecordingApp::Op::ShowItemProperty);
    QCOMPARE(app.m_calls[1].item, nullptr);
    QCOMPARE(app.m_calls[1].fileNodes, 2);
    // Losing the selection with the node may empty the property list again, and nothing else.
    for (const CRecordingApp::Call& call : app.m_calls) {
        QVERIFY(call.file == nullptr && call.item == nullptr && call.op != CRecordingApp::Op::Other);
    }
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(CKivLogFileTreeCtrl::ItemData(tree.topLevelItem(0))->GetFile(), second.get());
    QCOMPARE(tree.GetSelectedItemData(), nullptr);
    QCOMPARE(ReferencesOn(entry), referencesWithNode - 1);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // A file that is not in the tree: the view is cleared all the same, the tree stays.
    app.m_calls.clear();
    QCOMPARE(tree.RemoveFile(first.get()), S_OK);
    QCOMPARE(app.m_calls.size(), std::size_t{2});
    QCOMPARE(tree.topLevelItemCount(), 1);

    // Closing the only file leaves an empty tree.
    QCOMPARE(tree.RemoveFile(second.get()), S_OK);
    QCOMPARE(tree.topLevelItemCount(), 0);
}

void FileTreeTests::TreeWithoutWindowRefusesFiles()
{
    const auto file = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    CRecordingApp app(tree);
    tree.SetApp(&app);
    QVERIFY(!tree.HasWindow());
    QCOMPARE(tree.AddFile(file.get()), E_FAIL);
    QCOMPARE(tree.RemoveFile(file.get()), E_FAIL);
    QCOMPARE(tree.topLevelItemCount(), 0);
    QVERIFY(app.m_calls.empty());

    // Shown once, it has one, also when hidden again.
    tree.show();
    tree.hide();
    QVERIFY(tree.HasWindow());
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(tree.topLevelItem(0)->childCount(), 4);
    QCOMPARE(tree.AddFile(nullptr), E_INVALIDARG);
}

void FileTreeTests::FailedLoadShowsFourFoldersThatExpandToNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing file") << "missing.log" << QByteArray();
    QTest::newRow("no trace line") << "plain.log" << QByteArray("just some text\r\nand more\r\n");
    QTest::newRow("empty file") << "empty.log" << QByteArray("");
    QTest::newRow("a folder") << "" << QByteArray();
}

void FileTreeTests::FailedLoadShowsFourFoldersThatExpandToNothing()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    TempDir dir;
    const auto path = dir.Path() / name.toStdString();
    if (!content.isNull()) {
        dir.WriteFile(name.toStdString(), content.toStdString());
    }
    const auto file = LoadFile(ToQString(path), false);
    QVERIFY(file);
    CKivLogFileTreeCtrl tree;
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);
    QCOMPARE(Texts(fileNode), QStringList({MethodFolder, NameSpaceFolder, ThreadFolder, SearchFolder}));
    for (const QString& folder : {MethodFolder, NameSpaceFolder, ThreadFolder}) {
        QCOMPARE(Open(fileNode, {folder})->childCount(), 0);
    }
    QCOMPARE(Open(fileNode, {SearchFolder, EndlessFolder})->childCount(), 0);
}

void FileTreeTests::RefusedModelLeavesFoldersEmpty()
{
    const auto file = LoadFile(QStringLiteral(KIV_SAMPLES_DIR "/sample.log"));
    QVERIFY(file);
    const auto engine = MakeRecordingEngine(*file);
    engine->m_refuse = true;
    CTreeOverEngine tree(engine);
    tree.show();
    QCOMPARE(tree.AddFile(file.get()), S_OK);
    QTreeWidgetItem* fileNode = tree.topLevelItem(0);
    for (const QString& folder : {MethodFolder, NameSpaceFolder, ThreadFolder}) {
        QTreeWidgetItem* node = Open(fileNode, {folder});
        QCOMPARE(node->childCount(), 0);
        QVERIFY(node->isExpanded());
    }
    QCOMPARE(Open(fileNode, {SearchFolder, EndlessFolder})->childCount(), 0);
    QCOMPARE(engine->m_cursorAtRootRequests.size(), std::size_t{4});
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(FileTreeTests)
#include "FileTreeTests.moc"
