// The detail lists over small traces written here: the duration texts, the property list's rows
// for each kind of node, its return values and its selection, the thread list's times, counts,
// check boxes and selection, the method list's counts, totals and header sorting, and bad input
// (no file, no threads, one-line threads, times going backwards, dates across years, a file
// closed while its tab is shown). Expected texts and orders are hand-worked facts of the
// fixtures. Set KIV_LIST_PICTURES to a folder to get pictures of the lists there. Runs on the
// offscreen platform.
#include "CKivLogFile.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogMainViewDlg.h"
#include "CKivLogMethodInfoCtrl.h"
#include "CKivLogPropListCtrl.h"
#include "CKivLogThreadInfoCtrl.h"
#include "CKivLogView2Dlg.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "CNaviChildItemData.h"
#include "IKivLogViewApp.h"
#include "LogTimes.h"
#include "TraceFixtures.h"
#include "ViewerTestSupport.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivPlatform/Text.h"
#include "KivTestSupport/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(SYSTEMTIME)

using Kiv::CComBSTR;
using Kiv::CComPtr;
using KivTest::TempDir;
using namespace KivViewTest;

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms)
{
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};
}

// The lines of a call of name: the entry line, and the return line with result as the writer
// makes it.
std::string Enter(DWORD thread, const SYSTEMTIME& time, std::string_view name)
{
    return StampedLine(thread, time, 0, EnterMark, std::string(name) + "()");
}
std::string Return(DWORD thread, const SYSTEMTIME& time, std::string_view name, std::string_view result = "0 [0x00000000]")
{
    return StampedLine(thread, time, 0, ReturnMark, std::string(name) + "() : return " + std::string(result));
}

QStringList Headers(const QAbstractItemModel* model)
{
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c) {
        titles << model->headerData(c, Qt::Horizontal).toString();
    }
    return titles;
}

QStringList Row(const QAbstractItemModel* model, int row)
{
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c) {
        texts << model->data(model->index(row, c)).toString();
    }
    return texts;
}

QStringList Column(const QAbstractItemModel* model, int column)
{
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r) {
        texts << model->data(model->index(r, column)).toString();
    }
    return texts;
}

CComBSTR Bstr(const char16_t* text)
{
    return CComBSTR(std::u16string_view(text));
}

// The main dialog's side of the property list: records ShowLogLine and SelectLogBlock in order.
class CRecordingApp final : public IKivLogViewApp {
public:
    struct Call {
        QString op;
        CKivLogFile* file;
        LONG lineNumber;
    };
    HRESULT SelectLogFile(CKivLogFile*) override { return S_OK; }
    HRESULT ShowItemProperty(CNaviChildItemData*) override { return S_OK; }
    HRESULT ShowLogLine(CKivLogFile* file, const KivLogSysLineInfo* line) override
    {
        calls.push_back({QStringLiteral("ShowLogLine"), file, line == nullptr ? -1 : line->lineNumber});
        return S_OK;
    }
    HRESULT SelectLogBlock(CKivLogFile* file, IKivLogSysBlock* block) override
    {
        const KivLogSysLineInfo* entry = nullptr;
        calls.push_back({QStringLiteral("SelectLogBlock"), file,
                         block != nullptr && SUCCEEDED(block->GetLineInfo(&entry)) ? entry->lineNumber : -1});
        return S_OK;
    }
    LOGFONTW* GetViewFont() override { return &font; }
    HRESULT CloseSelectedFile() override { return S_OK; }

    std::vector<Call> calls;
    LOGFONTW font;
};

// Clicks the header of a list over column.
void ClickHeader(QTableView& list, int column)
{
    QHeaderView* header = list.horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

// The folder KIV_LIST_PICTURES names; empty when pictures are not wanted.
QString PictureFolder()
{
    return qEnvironmentVariable("KIV_LIST_PICTURES");
}

// A method called three times: by thread 1 (1.5 s), by thread 2 (25 hours, a failure result)
// and by thread 1 again, never returning. Lines 1 to 6.
std::string ThreeCallsTrace()
{
    return Enter(0x1, At(2026, 12, 9, 10, 0, 0, 0), "A::Run") + Enter(0x2, At(2026, 12, 9, 10, 0, 0, 250), "A::Run") +
           Return(0x1, At(2026, 12, 9, 10, 0, 1, 500), "A::Run") +
           Return(0x2, At(2026, 12, 10, 11, 0, 0, 250), "A::Run", "-2147467259 [0x80004005]") +
           Enter(0x1, At(2026, 12, 10, 11, 0, 1, 0), "A::Run") +
           StampedLine(0x1, At(2026, 12, 10, 11, 0, 2, 0), 1, "", "still running");
}

} // namespace

class ListTests final : public QObject {
    Q_OBJECT

private slots:
    // Durations count whole hours past a day; below a day the format is hours:minutes:seconds
    // and milliseconds, cut to the millisecond.
    void DurationTexts_data()
    {
        QTest::addColumn<qint64>("span");
        QTest::addColumn<QString>("text");
        constexpr qint64 ms = 10000;
        constexpr qint64 hour = 3600 * 1000 * ms;
        QTest::newRow("zero") << qint64{0} << "00:00:00.000";
        QTest::newRow("below a millisecond") << ms - 1 << "00:00:00.000";
        QTest::newRow("one and a half milliseconds") << ms + ms / 2 << "00:00:00.001";
        QTest::newRow("a minute less a millisecond") << 60 * 1000 * ms - ms << "00:00:59.999";
        QTest::newRow("each field") << hour + (2 * 60 + 3) * 1000 * ms + 4 * ms << "01:02:03.004";
        QTest::newRow("a day less a millisecond") << 24 * hour - ms << "23:59:59.999";
        QTest::newRow("a day") << 24 * hour << "24:00:00.000";
        QTest::newRow("25 hours") << 25 * hour << "25:00:00.000";
        QTest::newRow("a hundred hours and a bit") << 100 * hour + 1500 * ms << "100:00:01.500";
        QTest::newRow("a year") << 365 * 24 * hour << "8760:00:00.000";
        QTest::newRow("backwards") << -(1500 * ms) << "-00:00:01.500";
        QTest::newRow("backwards a day") << -(24 * hour + ms) << "-24:00:00.001";
    }
    void DurationTexts()
    {
        QFETCH(qint64, span);
        QFETCH(QString, text);
        QCOMPARE(DurationText(span), text);
    }

    void DurationsBetweenStamps_data()
    {
        QTest::addColumn<SYSTEMTIME>("from");
        QTest::addColumn<SYSTEMTIME>("to");
        QTest::addColumn<QString>("text");
        QTest::newRow("over midnight") << At(2026, 12, 9, 23, 59, 59, 900) << At(2026, 12, 10, 0, 0, 0, 100)
                                       << "00:00:00.200";
        QTest::newRow("over new year") << At(2025, 12, 31, 23, 0, 0, 0) << At(2026, 1, 2, 0, 0, 0, 500)
                                       << "25:00:00.500";
        QTest::newRow("over a leap day") << At(2024, 2, 28, 12, 0, 0, 0) << At(2024, 3, 1, 12, 0, 0, 0)
                                         << "48:00:00.000";
        QTest::newRow("over years") << At(2024, 1, 1, 0, 0, 0, 0) << At(2026, 1, 1, 0, 0, 0, 0) << "17544:00:00.000";
        QTest::newRow("backwards") << At(2026, 1, 1, 10, 0, 5, 0) << At(2026, 1, 1, 10, 0, 3, 0) << "-00:00:02.000";
        // Stamps no calendar has give no duration.
        QTest::newRow("month 13") << At(2026, 13, 1, 0, 0, 0, 0) << At(2026, 1, 1, 0, 0, 0, 0) << "";
        QTest::newRow("30th of February") << At(2026, 1, 1, 0, 0, 0, 0) << At(2026, 2, 30, 0, 0, 0, 0) << "";
    }
    void DurationsBetweenStamps()
    {
        QFETCH(SYSTEMTIME, from);
        QFETCH(SYSTEMTIME, to);
        QFETCH(QString, text);
        QCOMPARE(DurationText(from, to), text);
    }

    // The rows of each kind of node: a method lists every call in file order, a method seen
    // from one thread lists that thread's calls without the thread column, a call without end
    // lists itself, and any other node has the name and value columns and no rows.
    void PropertyListRowsForEachKindOfNode()
    {
        TempDir dir;
        const auto file = LoadFile(ToQString(dir.WriteFile("three.log", ThreeCallsTrace())));
        QVERIFY(file != nullptr);
        CKivLogPropListCtrl list(nullptr);
        list.resize(600, 300);
        list.show();
        const QAbstractItemModel* model = list.model();
        const QStringList callColumns = {"開始時間", "スレッド", "生存時間", "戻り値"};
        const QStringList first = {"[2026/12/09( 10:00:00.000)]", "[00000001]", "00:00:01.500", "0 [0x00000000]"};
        const QStringList second = {"[2026/12/09( 10:00:00.250)]", "[00000002]", "25:00:00.000",
                                    "-2147467259 [0x80004005]"};
        const QStringList third = {"[2026/12/10( 11:00:01.000)]", "[00000001]", "Endless", ""};

        CNaviChildItemData_Method method(file.get(), Bstr(u" A::Run()"));
        list.ShowItem(&method);
        QCOMPARE(list.GetItem(), &method);
        QCOMPARE(Headers(model), callColumns);
        // The given widths, or wider where the list's font needs it to show the whole text.
        QVERIFY(list.columnWidth(0) >= 150);
        QVERIFY(QFontMetrics(list.font()).horizontalAdvance(first[0]) < list.columnWidth(0));
        QCOMPARE(list.columnWidth(3), 140);
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(Row(model, 0), first);
        QCOMPARE(Row(model, 1), second);
        QCOMPARE(Row(model, 2), third);
        // Asked again in another order, each row still gives its own texts.
        QCOMPARE(Row(model, 0), first);
        QVERIFY(!list.viewport()->grab().isNull());
        const CComPtr<IKivLogSysBlock> endless = list.GetRowBlock(2);
        QVERIFY(endless != nullptr);
        QVERIFY(list.GetRowBlock(3) == nullptr);

        const auto dropThread = [](QStringList row) {
            row.removeAt(1);
            return row;
        };
        CNaviChildItemData_MethodRefThread byThread(file.get(), NaviNodeKind::ThreadMethod, Bstr(u" A::Run()"), 0x1);
        list.ShowItem(&byThread);
        QCOMPARE(Headers(model), QStringList({"開始時間", "生存時間", "戻り値"}));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(Row(model, 0), dropThread(first));
        QCOMPARE(Row(model, 1), dropThread(third));
        CNaviChildItemData_MethodRefThread threadOfMethod(file.get(), NaviNodeKind::MethodThread, Bstr(u" A::Run()"), 0x2);
        list.ShowItem(&threadOfMethod);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(Row(model, 0), dropThread(second));

        CNaviChildItemData_MethodLine call(file.get(), endless);
        list.ShowItem(&call);
        QCOMPARE(Headers(model), callColumns);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(Row(model, 0), third);

        // Nodes without calls of their own, a method the file does not have, and no node.
        CNaviChildItemData fileNode(file.get(), NaviNodeKind::File);
        CNaviChildItemData_Thread thread(file.get(), 0x1);
        CNaviChildItemData_Method unknown(file.get(), Bstr(u" B::Missing()"));
        CNaviChildItemData_MethodRefThread otherThread(file.get(), NaviNodeKind::MethodThread, Bstr(u" A::Run()"), 0x99);
        for (CNaviChildItemData* item : std::initializer_list<CNaviChildItemData*>{&fileNode, &thread, nullptr}) {
            list.ShowItem(item);
            QCOMPARE(Headers(model), QStringList({"名前", "値"}));
            QCOMPARE(list.columnWidth(0), 160);
            QCOMPARE(model->rowCount(), 0);
        }
        for (CNaviChildItemData* item : std::initializer_list<CNaviChildItemData*>{&unknown, &otherThread}) {
            list.ShowItem(item);
            QCOMPARE(model->rowCount(), 0);
            QVERIFY(list.GetRowBlock(0) == nullptr);
        }
        QVERIFY(!list.viewport()->grab().isNull());
    }

    // "戻り値" is the text from the seventh byte after the first "return" of the return line to
    // its end; a "return" made of the second byte of a double-byte character and the letters
    // after it is not a "return".
    void ReturnValueFollowsTheFirstReturn_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("value");
        const auto ansi = [](const char* utf8) { return QByteArray::fromStdString(Kiv::Platform::Utf8ToAnsi(utf8)); };
        QTest::newRow("zero and its hex") << QByteArray(" : return 0 [0x00000000]") << "0 [0x00000000]";
        QTest::newRow("failure") << QByteArray(" : return -2147024809 [0x80070057]") << "-2147024809 [0x80070057]";
        QTest::newRow("first of two") << QByteArray(" : return return 1") << "return 1";
        QTest::newRow("Japanese value") << ansi(" : return 値＝１") << "値＝１";
        QTest::newRow("nothing after it") << QByteArray(" : return") << "";
        QTest::newRow("only the blank after it") << QByteArray(" : return ") << "";
        QTest::newRow("no return") << QByteArray(" : done") << "";
        // 0x83 0x72 is one character; its second byte is the letter r.
        QTest::newRow("r inside a character") << QByteArray(" \x83" "return 5") << "";
        QTest::newRow("after a character") << QByteArray(" \x83" "r return 5") << "5";
    }
    void ReturnValueFollowsTheFirstReturn()
    {
        QFETCH(QByteArray, result);
        QFETCH(QString, value);
        TempDir dir;
        const std::string trace =
            Enter(0x1, At(2026, 12, 9, 10, 0, 0, 0), "F") +
            StampedLine(0x1, At(2026, 12, 9, 10, 0, 0, 5), 0, ReturnMark, "F()" + result.toStdString());
        const auto file = LoadFile(ToQString(dir.WriteFile("result.log", trace)));
        QVERIFY(file != nullptr);
        CKivLogPropListCtrl list(nullptr);
        CNaviChildItemData_Method method(file.get(), Bstr(u" F()"));
        list.ShowItem(&method);
        QCOMPARE(list.model()->rowCount(), 1);
        QCOMPARE(list.model()->data(list.model()->index(0, 3)).toString(), value);
        QCOMPARE(list.model()->data(list.model()->index(0, 2)).toString(), QStringLiteral("00:00:00.005"));
    }

    // A selected row first scrolls the log view to the call's entry line, then selects the
    // call; with the main dialog the view's selection runs from the entry to the return line
    // (to the end of the list for a call without end) and the call's thread is highlighted.
    void SelectingARowShowsTheLineThenSelectsTheCall()
    {
        TempDir dir;
        const auto file = LoadFile(ToQString(dir.WriteFile("three.log", ThreeCallsTrace())));
        QVERIFY(file != nullptr);
        CRecordingApp app;
        CKivLogPropListCtrl list(nullptr);
        list.SetApp(&app);
        list.resize(600, 300);
        list.show();
        CNaviChildItemData_Method method(file.get(), Bstr(u" A::Run()"));
        list.ShowItem(&method);
        list.selectRow(1);
        QCOMPARE(app.calls.size(), std::size_t{2});
        QCOMPARE(app.calls[0].op, QStringLiteral("ShowLogLine"));
        QCOMPARE(app.calls[0].file, file.get());
        QCOMPARE(app.calls[0].lineNumber, 2);
        QCOMPARE(app.calls[1].op, QStringLiteral("SelectLogBlock"));
        QCOMPARE(app.calls[1].file, file.get());
        QCOMPARE(app.calls[1].lineNumber, 2);
        // Selecting the same row again is no change.
        list.selectRow(1);
        QCOMPARE(app.calls.size(), std::size_t{2});

        QTemporaryDir temp;
        CKivLogView2Dlg dialog(temp.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        dialog.OpenLogFiles({ToQString(dir.Path() / "three.log")});
        QCOMPARE(dialog.GetFiles().size(), std::size_t{1});
        CKivLogFile* opened = dialog.GetFiles().front().get();
        CNaviChildItemData_Method shown(opened, Bstr(u" A::Run()"));
        QCOMPARE(dialog.ShowItemProperty(&shown), S_OK);
        CKivLogPropListCtrl* propList = dialog.GetInfoView()->GetPropList();
        QCOMPARE(propList->model()->rowCount(), 3);
        CKivLogViewWnd* window = dialog.GetMainView()->GetViewWnd();
        propList->selectRow(1);
        QCOMPARE(window->GetCurrentFile(), opened);
        CKivLogViewCtrl* view = window->GetCurrentLogView();
        QCOMPARE(view->GetSelectFirst(), 1);
        QCOMPARE(view->GetSelectLast(), 3);
        QCOMPARE(view->GetHighlightThread(), DWORD{0x2});
        QCOMPARE(view->GetHotLine(), 1);
        propList->selectRow(2);
        QCOMPARE(view->GetSelectFirst(), 4);
        QCOMPARE(view->GetSelectLast(), 6);
        QCOMPARE(view->GetHighlightThread(), DWORD{0x1});
        QCOMPARE(dialog.ShowItemProperty(nullptr), S_OK);
    }

    // The thread list: one row per thread in the order of their first lines, with the first
    // and last time, the time between them (over a new year, 25 hours, a single line, times
    // going backwards) and the number of lines.
    void ThreadListShowsTimesAndCounts()
    {
        CTraceInWindow shown("threads.log", ThreadTrace(), QSize(800, 500));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        CKivLogThreadInfoCtrl* list = window.GetThreadList();
        QVERIFY(list->isVisible());
        QCOMPARE(Headers(list->model()), QStringList({"Thread Id", "最初の時間", "最後の時間", "経過時間", "出力総行数"}));
        QCOMPARE(list->rowCount(), 4);
        QCOMPARE(Row(list->model(), 0), QStringList({"00000001", "2025/12/31 23:00:00.000", "2026/01/02 00:00:00.500",
                                                     "25:00:00.500", "2"}));
        QCOMPARE(Row(list->model(), 1), QStringList({"00000002", "2025/12/31 23:59:59.900", "2026/01/01 00:00:00.100",
                                                     "00:00:00.200", "3"}));
        QCOMPARE(Row(list->model(), 2),
                 QStringList({"00000003", "2026/01/01 00:00:00.000", "2026/01/01 00:00:00.000", "00:00:00.000", "1"}));
        QCOMPARE(Row(list->model(), 3), QStringList({"00000004", "2026/01/01 10:00:05.000", "2026/01/01 10:00:03.000",
                                                     "-00:00:02.000", "2"}));
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(list->item(row, 0)->checkState(), Qt::Checked);
            QCOMPARE(list->GetRowThread(row), DWORD(row + 1));
        }
        QVERIFY(!window.grab().isNull());
    }

    // Unchecking a thread takes its lines out of both log views; checking it again brings them
    // back in file order, in any order of steps. Selecting a row highlights its thread, and a
    // thread hidden from the log view shows unchecked when the tab is shown again.
    void ThreadListCheckBoxesHideAndShowThreads()
    {
        CTraceInWindow shown("threads.log", ThreadTrace(), QSize(800, 500));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        const QList<QPair<DWORD, LONG>> all = {{1, 1}, {2, 2}, {3, 3}, {2, 4}, {4, 5}, {2, 6}, {4, 7}, {1, 8}};
        QCOMPARE(Merged(window), all);
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        CKivLogThreadInfoCtrl* list = window.GetThreadList();
        const std::pair<int, bool> steps[] = {{1, false}, {0, false}, {3, false}, {1, true}, {3, true}, {0, true}};
        for (const auto& [row, checked] : steps) {
            list->item(row, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
            QList<QPair<DWORD, LONG>> expected;
            for (const auto& line : all) {
                bool shown = true;
                for (int r = 0; r < list->rowCount(); ++r) {
                    if (list->GetRowThread(r) == line.first) {
                        shown = list->item(r, 0)->checkState() == Qt::Checked;
                    }
                }
                if (shown) {
                    expected << line;
                }
            }
            QCOMPARE(Merged(window), expected);
            QCOMPARE(window.IsThreadVisible(list->GetRowThread(row)), checked);
            QCOMPARE(window.GetLogView(0)->GetLineCount(), LONG(expected.size()));
            QCOMPARE(window.GetLogView(1)->GetLineCount(), LONG(expected.size()));
        }
        QCOMPARE(Merged(window), all);

        list->selectRow(2);
        QCOMPARE(window.GetCurrentLogView()->GetHighlightThread(), DWORD{0x3});

        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabLogView);
        window.SetThreadVisible(0x4, false);
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        QCOMPARE(list->rowCount(), 4);
        QCOMPARE(list->item(3, 0)->checkState(), Qt::Unchecked);
        QCOMPARE(list->item(0, 0)->checkState(), Qt::Checked);
        // The highlighted thread's row comes back selected.
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->selectionModel()->selectedRows().front().row(), 2);
    }

    // The method list: names in the method set's order, the number of calls and the total of
    // their lifetimes ("endless" once any call has no end; 25 hours shown as 25 hours).
    void MethodListCountsAndTotals()
    {
        CTraceInWindow shown("methods.log", MethodTrace(), QSize(800, 500));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        CKivLogMethodInfoCtrl* list = window.GetMethodList();
        QCOMPARE(list->model()->rowCount(), 0);
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabMethodInfo);
        QVERIFY(list->isVisible());
        const QAbstractItemModel* model = list->model();
        QCOMPARE(Headers(model), QStringList({"Name", "回数", "合計時間"}));
        QCOMPARE(list->columnWidth(0), 400);
        QCOMPARE(model->rowCount(), 7);
        QCOMPARE(Row(model, 0), QStringList({" A()", "2", "00:00:03.000"}));
        QCOMPARE(Row(model, 1), QStringList({" B()", "1", "endless"}));
        QCOMPARE(Row(model, 2), QStringList({" C()", "2", "00:00:01.000"}));
        QCOMPARE(Row(model, 3), QStringList({" D()", "1", "00:00:03.000"}));
        QCOMPARE(Row(model, 4), QStringList({" E()", "1", "-00:00:02.000"}));
        QCOMPARE(Row(model, 5), QStringList({" Long()", "1", "25:00:00.000"}));
        QCOMPARE(Row(model, 6), QStringList({" a()", "1", "00:00:00.000"}));
        QVERIFY(!window.grab().isNull());
    }

    // Header clicks: the first click on a count or total column sorts ascending, the next
    // descending; the name column starts descending after another column and ascending on a
    // fresh list. "endless" is the lowest total, below a negative one. Rows with equal keys
    // keep the order they had.
    void MethodListSortsByHeaderClicks()
    {
        CTraceInWindow shown("methods.log", MethodTrace(), QSize(800, 500));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabMethodInfo);
        CKivLogMethodInfoCtrl* list = window.GetMethodList();
        const QAbstractItemModel* model = list->model();
        QCOMPARE(list->GetSortColumn(), 0);
        QCOMPARE(list->GetSortFlag(), false);
        // Counts: A 2, B 1, C 2, D 1, E 1, Long 1, a 1. Totals: A 3 s, B endless, C 1 s, D 3 s,
        // E -2 s, Long 25 h, a 0.
        const struct {
            int column;
            QStringList names;
        } clicks[] = {
            {0, {" A()", " B()", " C()", " D()", " E()", " Long()", " a()"}},
            {1, {" B()", " D()", " E()", " Long()", " a()", " A()", " C()"}},
            {1, {" A()", " C()", " B()", " D()", " E()", " Long()", " a()"}},
            {2, {" B()", " E()", " a()", " C()", " A()", " D()", " Long()"}},
            {2, {" Long()", " A()", " D()", " C()", " a()", " E()", " B()"}},
            {0, {" a()", " Long()", " E()", " D()", " C()", " B()", " A()"}},
            {0, {" A()", " B()", " C()", " D()", " E()", " Long()", " a()"}},
        };
        for (const auto& click : clicks) {
            ClickHeader(*list, click.column);
            QCOMPARE(list->GetSortColumn(), click.column);
            QCOMPARE(Column(model, CKivLogMethodInfoCtrl::ColumnName), click.names);
        }
        // Each row keeps its own count and total through the sorts.
        QCOMPARE(Row(model, 1), QStringList({" B()", "1", "endless"}));
        QCOMPARE(Row(model, 5), QStringList({" Long()", "1", "25:00:00.000"}));
        // A refill lists the methods in the set's order again.
        ClickHeader(*list, 1);
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabLogView);
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabMethodInfo);
        QCOMPARE(Column(model, CKivLogMethodInfoCtrl::ColumnName),
                 QStringList({" A()", " B()", " C()", " D()", " E()", " Long()", " a()"}));
    }

    // Forty methods called once each for no time: sorted by name, then by count or total (all
    // equal) either way, they stay in name order; in reverse name order they stay reversed.
    void MethodListKeepsTheOrderOfEqualKeys()
    {
        std::string trace;
        QStringList names;
        for (int i = 0; i < 40; ++i) {
            const std::string name = "M" + std::to_string(100 + (i * 17) % 40);
            trace += Enter(0x1, At(2026, 12, 9, 10, 0, 0, 0), name) + Return(0x1, At(2026, 12, 9, 10, 0, 0, 0), name);
            names << QString::fromStdString(" " + name + "()");
        }
        names.sort(Qt::CaseSensitive);
        CTraceInWindow shown("equal.log", trace, QSize(800, 500));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabMethodInfo);
        CKivLogMethodInfoCtrl* list = window.GetMethodList();
        QCOMPARE(list->model()->rowCount(), 40);
        QStringList reversed(names.rbegin(), names.rend());
        const struct {
            int column;
            const QStringList& names;
        } clicks[] = {{0, names}, {1, names}, {1, names}, {2, names}, {2, names}, {0, reversed}, {2, reversed}, {1, reversed}};
        for (const auto& click : clicks) {
            ClickHeader(*list, click.column);
            QCOMPARE(Column(list->model(), CKivLogMethodInfoCtrl::ColumnName), click.names);
        }
    }

    // No file, a file without trace lines (no threads), a model that cannot be had: every list
    // is empty, and a method list refill says it failed without a file.
    void ListsWithoutAModelAreEmpty()
    {
        TempDir dir;
        CKivLogViewWnd window(nullptr);
        window.resize(800, 500);
        window.show();
        const auto checkEmpty = [&] {
            for (int tab : {CKivLogViewWnd::TabThreadInfo, CKivLogViewWnd::TabMethodInfo, CKivLogViewWnd::TabLogView}) {
                window.GetTabStrip()->setCurrentIndex(tab);
                QVERIFY(!window.grab().isNull());
            }
            QCOMPARE(window.GetThreadList()->rowCount(), 0);
            QCOMPARE(window.GetMethodList()->model()->rowCount(), 0);
        };
        checkEmpty();
        QCOMPARE(window.GetMethodList()->Refill(), E_FAIL);
        CKivLogMethodInfoCtrl orphan(nullptr, nullptr);
        QCOMPARE(orphan.Refill(), E_FAIL);

        const auto none = LoadFile(ToQString(dir.WriteFile("none.log", "no trace here\r\n")), false);
        QVERIFY(none != nullptr);
        window.SelectFile(none.get());
        checkEmpty();
        CKivLogPropListCtrl list(nullptr);
        CNaviChildItemData_Method method(none.get(), Bstr(u" A()"));
        list.ShowItem(&method);
        QCOMPARE(list.model()->rowCount(), 0);

        // An engine that refuses its model: the lists of the file shown before do not stay.
        const auto shown = LoadFile(ToQString(dir.WriteFile("three.log", ThreeCallsTrace())));
        QVERIFY(shown != nullptr);
        window.SelectFile(shown.get());
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        QCOMPARE(window.GetThreadList()->rowCount(), 2);
        CKivLogFile refusing(QStringLiteral("refusing.log"), CComPtr<IKivLogSysMgr>(CSteeredEngine::CreateObject()));
        window.SelectFile(&refusing);
        checkEmpty();
        QCOMPARE(window.GetMethodList()->Refill(), E_FAIL);
        CNaviChildItemData_Method refused(&refusing, Bstr(u" A::Run()"));
        list.ShowItem(&refused);
        QCOMPARE(list.model()->rowCount(), 0);
    }

    // A file closed while the tab of a list is shown, or while the property list shows one of
    // its methods: the lists become empty.
    void ClosingTheShownFileEmptiesTheLists_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("log view") << int{CKivLogViewWnd::TabLogView};
        QTest::newRow("thread information") << int{CKivLogViewWnd::TabThreadInfo};
        QTest::newRow("method information") << int{CKivLogViewWnd::TabMethodInfo};
    }
    void ClosingTheShownFileEmptiesTheLists()
    {
        QFETCH(int, tab);
        QTemporaryDir temp;
        CKivLogView2Dlg dialog(temp.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        dialog.OpenLogFiles({SamplePath()});
        QCOMPARE(dialog.GetFiles().size(), std::size_t{1});
        CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
        QTreeWidgetItem* fileNode = tree->topLevelItem(0);
        QTreeWidgetItem* methodFolder = fileNode->child(0);
        methodFolder->setExpanded(true);
        tree->setCurrentItem(methodFolder->child(0));
        CKivLogPropListCtrl* propList = dialog.GetInfoView()->GetPropList();
        QVERIFY(propList->model()->rowCount() > 0);
        CKivLogViewWnd* window = dialog.GetMainView()->GetViewWnd();
        window->GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        QCOMPARE(window->GetThreadList()->rowCount(), 4);
        window->GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabMethodInfo);
        QCOMPARE(window->GetMethodList()->model()->rowCount(), 8);
        window->GetTabStrip()->setCurrentIndex(tab);

        tree->setCurrentItem(fileNode);
        QCOMPARE(dialog.CloseSelectedFile(), S_OK);
        QVERIFY(dialog.GetFiles().empty());
        QCOMPARE(propList->model()->rowCount(), 0);
        QCOMPARE(window->GetThreadList()->rowCount(), 0);
        QCOMPARE(window->GetMethodList()->model()->rowCount(), 0);
        for (int shown : {CKivLogViewWnd::TabThreadInfo, CKivLogViewWnd::TabMethodInfo, CKivLogViewWnd::TabLogView}) {
            window->GetTabStrip()->setCurrentIndex(shown);
            QVERIFY(!dialog.grab().isNull());
        }
        QCOMPARE(window->GetThreadList()->rowCount(), 0);
        QCOMPARE(window->GetMethodList()->model()->rowCount(), 0);
    }

    // The bundled sample in the main window: the property list of a method, and each tab. The
    // pictures go to the folder KIV_LIST_PICTURES names, when set, to be looked at.
    void PicturesOfTheListsWithTheSample()
    {
        QTemporaryDir temp;
        CKivLogView2Dlg dialog(temp.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        dialog.OpenLogFiles({SamplePath()});
        QCOMPARE(dialog.GetFiles().size(), std::size_t{1});
        CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
        QTreeWidgetItem* methodFolder = tree->topLevelItem(0)->child(0);
        methodFolder->setExpanded(true);
        // Insert() ran on four threads (see the tree's tests): select its node.
        QTreeWidgetItem* insert = nullptr;
        for (int i = 0; i < methodFolder->childCount(); ++i) {
            if (methodFolder->child(i)->text(0) == QStringLiteral(" Demo::Store::CCache::Insert()")) {
                insert = methodFolder->child(i);
            }
        }
        QVERIFY(insert != nullptr);
        tree->setCurrentItem(insert);
        CKivLogPropListCtrl* propList = dialog.GetInfoView()->GetPropList();
        QVERIFY(propList->model()->rowCount() >= 4);
        propList->selectRow(1);
        CKivLogViewWnd* window = dialog.GetMainView()->GetViewWnd();
        QVERIFY(window->GetCurrentLogView()->GetSelectFirst() >= 0);
        const QString folder = PictureFolder();
        const auto save = [&](const char* name) {
            if (!folder.isEmpty()) {
                QVERIFY(dialog.grab().save(QDir(folder).filePath(QString::fromLatin1(name)), "PNG"));
            }
        };
        save("lists-property.png");
        window->GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        QCOMPARE(window->GetThreadList()->rowCount(), 4);
        window->GetThreadList()->selectRow(1);
        save("lists-threads.png");
        window->GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabMethodInfo);
        QCOMPARE(window->GetMethodList()->model()->rowCount(), 8);
        ClickHeader(*window->GetMethodList(), CKivLogMethodInfoCtrl::ColumnTotal);
        save("lists-methods.png");
    }

private:
    // Four threads: 1 over a new year for 25 hours, 2 over midnight, 3 with one line, 4 with
    // its times going backwards. Lines 1 to 8: 1, 2, 3, 2, 4, 2, 4, 1.
    static std::string ThreadTrace()
    {
        return StampedLine(0x1, At(2025, 12, 31, 23, 0, 0, 0), 0, "", "start") +
               StampedLine(0x2, At(2025, 12, 31, 23, 59, 59, 900), 0, "", "a") +
               StampedLine(0x3, At(2026, 1, 1, 0, 0, 0, 0), 0, "", "single") +
               StampedLine(0x2, At(2026, 1, 1, 0, 0, 0, 50), 0, "", "b") +
               StampedLine(0x4, At(2026, 1, 1, 10, 0, 5, 0), 0, "", "late") +
               StampedLine(0x2, At(2026, 1, 1, 0, 0, 0, 100), 0, "", "c") +
               StampedLine(0x4, At(2026, 1, 1, 10, 0, 3, 0), 0, "", "early") +
               StampedLine(0x1, At(2026, 1, 2, 0, 0, 0, 500), 0, "", "end");
    }

    // Seven methods, each on a thread of its own: A twice (1 s and 2 s), B once without end,
    // C twice (0.5 s each), D once (3 s), E once with its return stamped 2 s before its entry,
    // Long once for 25 hours, a once for no time.
    static std::string MethodTrace()
    {
        const auto at = [](int second, int ms = 0) {
            return At(2026, 12, 9, 10, 0, static_cast<WORD>(second), static_cast<WORD>(ms));
        };
        return Enter(0x1, at(0), "A") + Return(0x1, at(1), "A") + Enter(0x1, at(2), "A") + Return(0x1, at(4), "A") +
               Enter(0x3, at(0), "C") + Return(0x3, at(0, 500), "C") + Enter(0x3, at(1), "C") +
               Return(0x3, at(1, 500), "C") + Enter(0x4, at(0), "D") + Return(0x4, at(3), "D") +
               Enter(0x5, at(5), "E") + Return(0x5, at(3), "E") + Enter(0x6, at(0), "Long") +
               Return(0x6, At(2026, 12, 10, 11, 0, 0, 0), "Long") + Enter(0x7, at(9), "a") + Return(0x7, at(9), "a") +
               Enter(0x2, at(1), "B") + StampedLine(0x2, at(2), 1, "", "waiting");
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ListTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "ListTests.moc"
