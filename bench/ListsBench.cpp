// KivListsBench FILE: the detail lists on a large trace. Loads FILE through its engine, shows it
// in the view window, then times the thread list and the method list each built in one pass
// over the model, and the property list of the method with the most calls from its selection to
// its first painted rows. Then it writes a trace of one method called a million times into a
// temporary folder, loads it, and times the property list of that method to its first paint,
// which must not grow with the number of calls (the rows are made only when shown), and the
// method list summing all million calls. Each figure
// is printed with its ratio to the baseline measured in the same run on FILE: reading the file
// and counting its lines (the best of three reads). Runs on the offscreen platform unless
// QT_QPA_PLATFORM names another. Single-threaded (the user-interface thread).
#include "CKivLogFile.h"
#include "CKivLogMethodInfoCtrl.h"
#include "CKivLogPropListCtrl.h"
#include "CKivLogThreadInfoCtrl.h"
#include "CKivLogViewWnd.h"
#include "CNaviChildItemData.h"
#include "MethodNames.h"
#include "ViewerBenchSupport.h"

#include "KivObject/ComBSTR.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

using Kiv::CComBSTR;
using Kiv::CComPtr;
using namespace KivViewerBench;

namespace {

constexpr long MillionCalls = 1000000;

// The name of the file's method with the most calls, and their number.
std::pair<CComBSTR, LONG> BusiestMethod(CKivLogFile& file)
{
    CComPtr<IKivLogSysRoot> root;
    CComPtr<IKivLogSysMethodSet> methods;
    CMethodNames names;
    std::pair<CComBSTR, LONG> busiest{CComBSTR(), -1};
    if (FAILED(file.GetLogSysMgr()->GetRootObject(&root)) || FAILED(root->GetMethodSet(IID_PPV_ARGS(&methods))) ||
        FAILED(names.Read(methods))) {
        return busiest;
    }
    for (LONG i = 0; i < names.Count(); ++i) {
        CComPtr<IKivLogSysMethodInfo> info;
        LONG count = 0;
        if (SUCCEEDED(methods->GetMethodInfo(names[i], IID_PPV_ARGS(&info))) && SUCCEEDED(info->GetLineCount(&count)) &&
            count > busiest.second) {
            busiest = {CComBSTR(std::u16string_view(names[i], SysStringLen(names[i]))), count};
        }
    }
    return busiest;
}

// Shows the method's calls in a property list and paints it once: the time from the selection
// of the node to the first rows on screen.
void TimePropertyList(CKivLogFile& file, const std::pair<CComBSTR, LONG>& method, const CBaselineReport& report,
                      const char* what)
{
    CNaviChildItemData_Method item(&file, CComBSTR(std::u16string_view(method.first, SysStringLen(method.first))));
    CKivLogPropListCtrl list(nullptr);
    list.resize(600, 400);
    list.show();
    QApplication::processEvents();
    report.Print(what, Time([&] {
                     list.ShowItem(&item);
                     list.viewport()->repaint();
                 }));
    std::printf("(%d rows, %ld calls; first row: %s)\n", list.model()->rowCount(), static_cast<long>(method.second),
                qPrintable(list.model()->data(list.model()->index(0, 0)).toString()));
}

// Refills the window's method list, then sorts it by total.
void TimeMethodList(CKivLogViewWnd& window, const CBaselineReport& report, const char* what)
{
    CKivLogMethodInfoCtrl* methods = window.GetMethodList();
    report.Print(what, Time([&] { methods->Refill(); }));
    std::printf("(%d methods; first total %s)\n", methods->model()->rowCount(),
                qPrintable(methods->model()->data(methods->model()->index(0, CKivLogMethodInfoCtrl::ColumnTotal)).toString()));
    report.Print("method list: sort by total", Time([&] { methods->SortByColumn(CKivLogMethodInfoCtrl::ColumnTotal); }));
}

// A trace of one method called count times by one thread, each call returning.
bool WriteMillionCalls(const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string enter = "[00000001][2026/12/09(10:00:00.000)]\x84\xA1 Busy::Call()\r\n";
    const std::string leave = "[00000001][2026/12/09(10:00:00.001)]\x84\xA4 Busy::Call() : return 0 [0x00000000]\r\n";
    std::string block;
    for (int i = 0; i < 1000; ++i) {
        block += enter + leave;
    }
    for (long i = 0; i < MillionCalls / 1000; ++i) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: KivListsBench FILE\n"
                   "Loads the trace log FILE and times the thread, method and property lists on it against\n"
                   "reading the file. Exit status: 0 on success, 1 when a file cannot be read, written or\n"
                   "loaded, 2 for a usage error.\n",
                   stderr);
        return 2;
    }
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    const std::optional<CBaselineReport> started = StartReport(path, "KivListsBench");
    if (!started) {
        return 1;
    }
    const CBaselineReport& report = *started;

    {
        const std::unique_ptr<CKivLogFile> file = LoadForScale(path, report, "KivListsBench", "load through the engine (for scale)");
        if (file == nullptr) {
            return 1;
        }
        CKivLogViewWnd window(nullptr);
        window.resize(1280, 900);
        window.show();
        QApplication::processEvents();
        report.Print("select the file: pages and merge (for scale)", Time([&] { window.SelectFile(file.get()); }));
        CKivLogThreadInfoCtrl* threads = window.GetThreadList();
        report.Print("thread list: refill", Time([&] { threads->Refill(); }));
        std::printf("(%d threads)\n", threads->rowCount());
        // The engine builds its method index on the first request (the navigation tree asks
        // for it too); it is timed apart from the list's own work.
        std::pair<CComBSTR, LONG> busiest;
        report.Print("engine: build the method index (for scale)", Time([&] { busiest = BusiestMethod(*file); }));
        TimeMethodList(window, report, "method list: refill (a method's sum stops at its first call without end)");
        TimePropertyList(*file, busiest, report, "property list of the busiest method: show and first paint");
    }

    QTemporaryDir folder;
    const QString million = folder.filePath(QStringLiteral("million-calls.log"));
    if (!folder.isValid() || !WriteMillionCalls(million.toStdString())) {
        std::fprintf(stderr, "KivListsBench: cannot write %s\n", qPrintable(million));
        return 1;
    }
    const std::unique_ptr<CKivLogFile> file = LoadForScale(million, report, "KivListsBench", "load a million calls of one method (for scale)");
    if (file == nullptr) {
        return 1;
    }
    const std::pair<CComBSTR, LONG> busy = BusiestMethod(*file);
    TimePropertyList(*file, busy, report, "property list of a million calls: show and first paint");
    CKivLogViewWnd window(nullptr);
    window.SelectFile(file.get());
    TimeMethodList(window, report, "method list: refill summing a million calls that all return");
    return 0;
}
