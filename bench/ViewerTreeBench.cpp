// KivViewerTreeBench FILE: the navigation tree on a large trace. Opens FILE in the main window as
// the user does (progress dialog, tree), then times expanding each of its folders, down every
// level of the namespaces, one method, two threads and the calls that never returned, and
// closing the file. Each expansion is timed up to the tree painted again. The baseline, measured in the same
// run on the same file, is reading the file and counting its lines (the best of three reads);
// every figure is printed with its ratio to it. For comparison it also times what the folder of
// calls without end must ask the engine, asked without the tree. Runs on the offscreen platform
// unless QT_QPA_PLATFORM names another. Single-threaded (the user-interface thread).
#include "CKivLogFile.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogView2Dlg.h"
#include "CNaviChildItemData.h"
#include "ViewerBenchSupport.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/Memory.h"
#include "KivPlatform/TaskMem.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidgetItem>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

using Kiv::CComPtr;
using namespace KivViewerBench;

QTreeWidgetItem* Child(const QTreeWidgetItem* node, const QString& text)
{
    for (int i = 0; node != nullptr && i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text) {
            return node->child(i);
        }
    }
    return nullptr;
}

NaviNodeKind KindOf(const QTreeWidgetItem* node)
{
    return CKivLogFileTreeCtrl::ItemData(node)->GetKind();
}

class CReport {
public:
    explicit CReport(double baseline) : m_baseline(baseline) {}

    // The label goes last: its Japanese characters would upset a column's width.
    void Print(const char* what, double seconds, long long nodes) const
    {
        if (nodes < 0) {
            std::printf("%9.3f s %9.3f x baseline %15s  %s\n", seconds, seconds / m_baseline, "", what);
        } else {
            std::printf("%9.3f s %9.3f x baseline %9lld nodes  %s\n", seconds, seconds / m_baseline, nodes, what);
        }
    }

private:
    double m_baseline;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: KivViewerTreeBench FILE\n"
                   "Loads the trace log FILE and times the navigation tree on it against reading the file.\n"
                   "Exit status: 0 on success, 1 when the file cannot be read or loaded, 2 for a usage error.\n",
                   stderr);
        return 2;
    }
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);

    const std::optional<Baseline> baseline = MeasureBaseline(path, "KivViewerTreeBench");
    if (!baseline) {
        return 1;
    }
    const CReport report(baseline->seconds);
    report.Print("baseline: read the file, count lines", baseline->seconds, -1);

    // Opening the file as the user does: the main window loads it under its progress dialog
    // (which closes a second after the engine's end report, as it should) and lists it in the
    // tree, whose file node shows its folders.
    const QTemporaryDir settingsFolder;
    CKivLogView2Dlg window(settingsFolder.filePath(QStringLiteral("Setting.xml")));
    window.show();
    QApplication::processEvents();
    CKivLogFileTreeCtrl& tree = *window.GetInfoView()->GetTree();
    const auto step = [&](const char* what, const std::function<long long()>& body) {
        long long nodes = -1;
        const double seconds = Time([&] { nodes = body(); });
        report.Print(what, seconds, nodes);
    };
    step("open in the main window until the tree shows it (1 s pause of the progress dialog included)", [&] {
        window.OpenLogFiles({path});
        QApplication::processEvents();
        tree.viewport()->repaint();
        return static_cast<long long>(tree.topLevelItemCount() == 1 ? tree.topLevelItem(0)->childCount() : 0);
    });
    if (window.GetFiles().size() != 1 || tree.topLevelItemCount() != 1 || tree.topLevelItem(0)->childCount() != 4) {
        std::fprintf(stderr, "KivViewerTreeBench: %s: the main window did not list the file\n", argv[1]);
        return 1;
    }
    CKivLogFile* file = window.GetFiles().front().get();

    // Expands node and waits for the tree to be painted again; the number of nodes it now holds.
    const auto expand = [&](QTreeWidgetItem* node) {
        node->setExpanded(true);
        QApplication::processEvents();
        tree.viewport()->repaint();
        return static_cast<long long>(node->childCount());
    };

    QTreeWidgetItem* fileNode = tree.topLevelItem(0);

    // The engine builds its method index on the first request; timed on its own so that the
    // first folder that needs it does not carry it.
    step("engine: method index", [&] {
        CComPtr<IKivLogSysRoot> root;
        CComPtr<IKivLogSysMethodSet> methodSet;
        file->GetLogSysMgr()->GetRootObject(&root);
        root->GetMethodSet(IID_PPV_ARGS(&methodSet));
        return -1LL;
    });

    QTreeWidgetItem* methodFolder = Child(fileNode, QStringLiteral("関数一覧"));
    step("expand 関数一覧", [&] { return expand(methodFolder); });
    step("expand one method (its threads)", [&] { return expand(methodFolder->child(0)); });

    // Every namespace level in turn: all namespace nodes of one level expanded together.
    std::vector<QTreeWidgetItem*> level = {Child(fileNode, QStringLiteral("名前空間 ( クラス )"))};
    for (int depth = 0; !level.empty(); ++depth) {
        const QByteArray what = depth == 0 ? QByteArray("expand 名前空間 ( クラス )")
                                           : QStringLiteral("expand namespaces of level %1 (%2)")
                                                 .arg(depth)
                                                 .arg(level.size())
                                                 .toUtf8();
        step(what.constData(), [&] {
            long long nodes = 0;
            for (QTreeWidgetItem* node : level) {
                nodes += expand(node);
            }
            return nodes;
        });
        std::vector<QTreeWidgetItem*> next;
        for (QTreeWidgetItem* node : level) {
            for (int i = 0; i < node->childCount(); ++i) {
                if (KindOf(node->child(i)) == NaviNodeKind::NameSpace) {
                    next.push_back(node->child(i));
                }
            }
        }
        level = std::move(next);
    }

    QTreeWidgetItem* threadFolder = Child(fileNode, QStringLiteral("スレッド一覧"));
    step("expand スレッド一覧", [&] { return expand(threadFolder); });
    step("expand one thread (its methods)", [&] { return expand(threadFolder->child(0)); });
    step("expand another thread", [&] { return expand(threadFolder->child(1)); });

    // What the endless-call folder has to ask the engine, without the tree: every call's end.
    step("engine alone: the end of every call", [&] {
        CComPtr<IKivLogSysRoot> root;
        CComPtr<IKivLogSysMethodSet> methodSet;
        file->GetLogSysMgr()->GetRootObject(&root);
        root->GetMethodSet(IID_PPV_ARGS(&methodSet));
        LONG count = 0;
        BSTR* names = nullptr;
        methodSet->GetMethodNames(&count, &names);
        long long endless = 0;
        for (LONG i = 0; i < count; ++i) {
            CComPtr<IKivLogSysMethodInfo> methodInfo;
            methodSet->GetMethodInfo(names[i], IID_PPV_ARGS(&methodInfo));
            LONG calls = 0;
            methodInfo->GetLineCount(&calls);
            for (LONG call = 0; call < calls; ++call) {
                CComPtr<IKivLogSysBlock> block;
                const KivLogSysLineInfo* end = nullptr;
                methodInfo->GetLineInfo(call, IID_PPV_ARGS(&block));
                endless += FAILED(block->GetEndLineInfo(&end)) ? 1 : 0;
            }
            Kiv::CComBSTR owner;
            owner.Attach(names[i]);
        }
        CoTaskMemFree(names);
        return endless;
    });

    QTreeWidgetItem* searchFolder = Child(fileNode, QStringLiteral("検索一覧"));
    step("expand 検索一覧", [&] { return expand(searchFolder); });
    step("expand エンドレス関数", [&] { return expand(searchFolder->child(0)); });
    step("collapse and expand it again", [&] {
        searchFolder->child(0)->setExpanded(false);
        QApplication::processEvents();
        return expand(searchFolder->child(0));
    });

    step("RemoveFile (the whole subtree)", [&] {
        tree.RemoveFile(file);
        QApplication::processEvents();
        tree.viewport()->repaint();
        return -1LL;
    });
    std::printf("peak RSS %.0f MB\n", static_cast<double>(Kiv::Platform::PeakResidentBytes()) / (1024.0 * 1024.0));
    return 0;
}
