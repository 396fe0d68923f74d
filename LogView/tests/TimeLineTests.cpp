// The time line: its run table against a plain walk of the runs, the control over small traces
// written here (rows, texts, life bars, boundary colours, markers and their dragging, scrolling),
// the view window applying the chosen range to both log views, and bad input (no threads, one
// line per thread, stamps going backwards, years apart, a file closed while its tab is shown).
// Expected runs, texts and colours are hand-written facts of the fixtures. Runs on the offscreen
// platform; KIV_TIMELINE_PICTURE names a file to receive a picture of the thread tab.
#include "CKivLogFile.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogMainViewDlg.h"
#include "CKivLogTimeLineViewCtrl.h"
#include "CKivLogView2Dlg.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "CKivTimeSlotRuns.h"
#include "LogTimes.h"
#include "LogFont.h"
#include "TraceFixtures.h"
#include "ViewerIds.h"
#include "ViewerTestSupport.h"

#include "KivObject/ComPtr.h"
#include "KivTestSupport/TempDir.h"

#include <QApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

#include <random>
#include <string>
#include <vector>

using Kiv::CComPtr;
using KivTest::TempDir;
using namespace KivViewTest;

namespace {

using Run = CKivTimeSlotRuns::Run;
// Runs as (first slot after noon, number of slots).
using SlotRuns = QList<QPair<int, int>>;
constexpr std::int64_t Slot = CKivTimeSlotRuns::SlotLength;

// A local time to the millisecond: its file time and its stamp as a trace line writes it.
struct Moment {
    WORD year, month, day, hour, minute, second, ms;

    std::int64_t Value() const
    {
        return FileTimeOf(SYSTEMTIME{year, month, 0, day, hour, minute, second, ms}).value_or(-1);
    }
    std::string Stamp() const
    {
        char text[48];
        std::snprintf(text, sizeof text, "%04d/%02d/%02d(%02d:%02d:%02d.%03d)", year, month, day, hour, minute, second,
                      ms);
        return text;
    }
};

// 2026/12/09 12:00:00 plus ms milliseconds.
Moment Noon(int ms)
{
    return {2026, 12, 9, 12, static_cast<WORD>(ms / 60000), static_cast<WORD>(ms / 1000 % 60),
            static_cast<WORD>(ms % 1000)};
}
const std::int64_t NoonValue = Noon(0).Value();

// The runs the insertion rule gives, by walking every run for every time.
std::vector<Run> ReferenceRuns(const std::vector<std::int64_t>& times)
{
    std::vector<Run> runs;
    for (const std::int64_t time : times) {
        const std::int64_t s = time / Slot * Slot;
        bool taken = false;
        for (std::size_t i = 0; i < runs.size() && !taken; ++i) {
            const std::int64_t end = runs[i].start + runs[i].length * Slot;
            if (runs[i].start <= s && s < end) {
                taken = true;
            } else if (s == end) {
                if (i + 1 == runs.size() || runs[i + 1].start != s) {
                    ++runs[i].length;
                }
                taken = true;
            } else if (s < runs[i].start) {
                runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(i), Run{s, 1});
                taken = true;
            }
        }
        if (!taken) {
            runs.push_back({s, 1});
        }
    }
    return runs;
}

// A trace of message lines: (thread, moment) in file order.
std::string Trace(const std::vector<std::pair<DWORD, Moment>>& lines)
{
    std::string trace;
    for (const auto& [thread, moment] : lines) {
        trace += StampedLine(thread, moment.Stamp(), "line");
    }
    return trace;
}

// A time line control rows rows high, over a trace written and loaded here.
struct CTimeLineFixture {
    explicit CTimeLineFixture(const std::vector<std::pair<DWORD, Moment>>& lines, int rows = 12)
        : file(LoadFile(ToQString(dir.WriteFile("timeline.log", Trace(lines))))), ctrl(ViewerIds::IdcTimeLine, nullptr)
    {
        ctrl.resize(400, 200);
        ctrl.show();
        if (file != nullptr) {
            status = ctrl.LoadTimeLine(file->GetLogSysMgr());
        }
        const int frame = ctrl.height() - ctrl.viewport()->height();
        ctrl.resize(400, frame + rows * ctrl.GetRowHeight());
    }
    int RowY(LONG row) const
    {
        return static_cast<int>(row - ctrl.GetTopRow()) * ctrl.GetRowHeight() + ctrl.GetRowHeight() / 2;
    }
    QColor Pixel(int x, int y) { return ctrl.viewport()->grab().toImage().pixelColor(x, y); }
    QPoint OnMarker(LONG row) const { return QPoint(1, RowY(row)); }

    TempDir dir;
    std::unique_ptr<CKivLogFile> file;
    CKivLogTimeLineViewCtrl ctrl;
    HRESULT status = E_UNEXPECTED;
};

const QColor White(0xFF, 0xFF, 0xFF);
const QColor LifeBar(0xAA, 0xAA, 0xAA);

// The rows of a control that show a life bar in a thread's column.
QList<LONG> BarRows(CTimeLineFixture& fixture, int thread)
{
    const QImage image = fixture.ctrl.viewport()->grab().toImage();
    const int x = fixture.ctrl.ThreadColumnLeft(thread) + 8;
    QList<LONG> rows;
    for (LONG row = 0; row < fixture.ctrl.GetVisibleRows(); ++row) {
        const int y = fixture.RowY(row);
        if (y < image.height() && image.pixelColor(x, y) == LifeBar) {
            rows << row;
        }
    }
    return rows;
}

// Whether the screen, once the pending repaints are done, shows what a full painting of the
// control gives (the control repaints only what changed).
bool ScreenShowsFullPainting(QAbstractScrollArea& ctrl)
{
    QApplication::processEvents();
    const QImage shown = ctrl.screen()->grabWindow(ctrl.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    return shown == ctrl.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The window's view font record at a pixel height.
LOGFONTW FontOfHeight(LONG height)
{
    LOGFONTW font;
    font.lfHeight = height;
    return font;
}

} // namespace

Q_DECLARE_METATYPE(Moment)

class TimeLineTests : public QObject {
    Q_OBJECT

private slots:
    void RunsFollowTheInsertionRule_data()
    {
        QTest::addColumn<QList<int>>("ms");
        QTest::addColumn<SlotRuns>("runs");
        using Runs = SlotRuns;
        // Times in milliseconds after noon.
        QTest::newRow("two lines in two slots, one five seconds later") << QList<int>{50, 150, 5000} << Runs{{0, 2}, {50, 1}};
        QTest::newRow("one slot twice") << QList<int>{10, 90} << Runs{{0, 1}};
        QTest::newRow("going backwards: touching runs stay apart") << QList<int>{300, 200, 100} << Runs{{1, 1}, {2, 1}, {3, 1}};
        QTest::newRow("a gap filled from the run before it") << QList<int>{0, 200, 100} << Runs{{0, 2}, {2, 1}};
        QTest::newRow("the slot after a touching pair grows the second") << QList<int>{0, 200, 100, 300} << Runs{{0, 2}, {2, 2}};
        QTest::newRow("the slot where a touching run starts") << QList<int>{0, 200, 100, 250} << Runs{{0, 2}, {2, 1}};
        QTest::newRow("before the first run") << QList<int>{500, 100} << Runs{{1, 1}, {5, 1}};
        QTest::newRow("growing at the end") << QList<int>{0, 100, 200} << Runs{{0, 3}};
        QTest::newRow("inside a long run") << QList<int>{0, 100, 200, 150, 99} << Runs{{0, 3}};
        QTest::newRow("one slot before a run is a run of its own") << QList<int>{300, 200} << Runs{{2, 1}, {3, 1}};
    }
    void RunsFollowTheInsertionRule()
    {
        QFETCH(QList<int>, ms);
        QFETCH(SlotRuns, runs);
        CKivTimeSlotRuns table;
        for (const int m : ms) {
            table.Insert(NoonValue + m * 10000LL);
        }
        std::vector<Run> expected;
        std::int64_t rows = 0;
        for (const auto& [slot, length] : runs) {
            expected.push_back({NoonValue + slot * Slot, static_cast<std::uint32_t>(length)});
            rows += length;
        }
        QCOMPARE(table.GetRuns(), expected);
        QCOMPARE(table.GetRowCount(), rows);
    }

    // Random times over a narrow span, so that runs often come to touch: after every insertion
    // the runs equal those of a walk over all runs, and every row's time equals a count along
    // the runs.
    void RunsMatchAWalkOverAllRuns()
    {
        for (const unsigned seed : {1u, 7u, 2024u, 99991u}) {
            std::mt19937 random(seed);
            std::uniform_int_distribution<int> slotOf(0, 40);
            std::uniform_int_distribution<int> within(0, static_cast<int>(Slot) - 1);
            CKivTimeSlotRuns table;
            std::vector<std::int64_t> times;
            for (int i = 0; i < 150; ++i) {
                times.push_back(NoonValue + slotOf(random) * Slot + within(random));
                table.Insert(times.back());
                const std::vector<Run> expected = ReferenceRuns(times);
                QCOMPARE(table.GetRuns(), expected);
            }
            std::vector<std::int64_t> rowTimes;
            for (const Run& run : ReferenceRuns(times)) {
                for (std::uint32_t k = 0; k < run.length; ++k) {
                    rowTimes.push_back(run.start + k * Slot);
                }
            }
            QCOMPARE(table.GetRowCount(), static_cast<std::int64_t>(rowTimes.size()));
            for (std::size_t row = 0; row < rowTimes.size(); ++row) {
                QCOMPARE(table.RowTime(static_cast<std::int64_t>(row)), rowTimes[row]);
            }
            QCOMPARE(table.RowTime(-1), std::int64_t{0});
            QCOMPARE(table.RowTime(table.GetRowCount()), std::int64_t{0});
        }
        CKivTimeSlotRuns empty;
        QCOMPARE(empty.GetRowCount(), std::int64_t{0});
        QCOMPARE(empty.RowTime(0), std::int64_t{0});
    }

    void ThreeLinesGiveTwoRunsThreeRowsAndASecondLine()
    {
        CTimeLineFixture fixture({{0x1, Noon(50)}, {0x1, Noon(150)}, {0x1, Noon(5000)}});
        CKivLogTimeLineViewCtrl& ctrl = fixture.ctrl;
        QCOMPARE(fixture.status, S_OK);
        QCOMPARE(ctrl.GetRuns().GetRuns(), (std::vector<Run>{{NoonValue, 2}, {NoonValue + 50 * Slot, 1}}));
        QCOMPARE(ctrl.GetRowCount(), 3);
        const QStringList texts{CKivLogTimeLineViewCtrl::DateText(ctrl.RowTime(0)),
                                CKivLogTimeLineViewCtrl::TimeText(ctrl.RowTime(0)),
                                CKivLogTimeLineViewCtrl::TimeText(ctrl.RowTime(1)),
                                CKivLogTimeLineViewCtrl::TimeText(ctrl.RowTime(2))};
        QCOMPARE(texts, (QStringList{"2026/12/09", "12:00:00.000", "12:00:00.100", "12:00:05.000"}));
        QCOMPARE((QStringList{ctrl.MarkerOf(0), ctrl.MarkerOf(1), ctrl.MarkerOf(2), ctrl.MarkerOf(3)}),
                 (QStringList{"┯", "│", "┷", ""}));
        std::int64_t first = 0;
        std::int64_t last = 0;
        QCOMPARE(ctrl.GetRangeTimes(&first, &last), S_OK);
        QCOMPARE(first, NoonValue);
        QCOMPARE(last, NoonValue + 50 * Slot);
        QCOMPARE(ctrl.GetRangeTimes(nullptr, &last), E_POINTER);
        // A second's boundary above the third row only, across the area right of the markers.
        const int rowHeight = ctrl.GetRowHeight();
        const int right = ctrl.viewport()->width() - 2;
        QCOMPARE(fixture.Pixel(right, 2 * rowHeight), QColor(0xF0, 0xF0, 0xF0));
        QCOMPARE(fixture.Pixel(ctrl.GetMarkerWidth(), 2 * rowHeight), QColor(0xF0, 0xF0, 0xF0));
        QCOMPARE(fixture.Pixel(right, rowHeight), White);
        // The thread's life bar covers the three rows, 12 pixels wide inside its 16.
        QCOMPARE(BarRows(fixture, 0), (QList<LONG>{0, 1, 2}));
        const int column = ctrl.ThreadColumnLeft(0);
        QCOMPARE(fixture.Pixel(column + 1, fixture.RowY(1)), White);
        QCOMPARE(fixture.Pixel(column + 2, fixture.RowY(1)), LifeBar);
        QCOMPARE(fixture.Pixel(column + 13, fixture.RowY(1)), LifeBar);
        QCOMPARE(fixture.Pixel(column + 14, fixture.RowY(1)), White);
    }

    void BoundaryLinesShowWhatChanges_data()
    {
        QTest::addColumn<Moment>("before");
        QTest::addColumn<Moment>("after");
        QTest::addColumn<QColor>("color");
        QTest::newRow("midnight") << Moment{2026, 12, 9, 23, 59, 59, 950} << Moment{2026, 12, 10, 0, 0, 0, 0}
                                  << QColor(0, 0, 0);
        QTest::newRow("new year") << Moment{2025, 12, 31, 23, 59, 59, 900} << Moment{2026, 1, 1, 0, 0, 0, 0}
                                  << QColor(0, 0, 0);
        QTest::newRow("same time of day, next month") << Moment{2026, 11, 9, 12, 0, 0, 0}
                                                      << Moment{2026, 12, 9, 12, 0, 0, 0} << QColor(0, 0, 0);
        QTest::newRow("hour") << Moment{2026, 12, 9, 12, 59, 59, 950} << Moment{2026, 12, 9, 13, 0, 0, 0}
                              << QColor(0x70, 0x70, 0x70);
        QTest::newRow("minute") << Moment{2026, 12, 9, 12, 0, 59, 900} << Moment{2026, 12, 9, 12, 1, 0, 0}
                                << QColor(0xA0, 0xA0, 0xA0);
        QTest::newRow("second") << Moment{2026, 12, 9, 12, 0, 0, 950} << Moment{2026, 12, 9, 12, 0, 1, 0}
                                << QColor(0xF0, 0xF0, 0xF0);
        QTest::newRow("same second") << Moment{2026, 12, 9, 12, 0, 0, 100} << Moment{2026, 12, 9, 12, 0, 0, 200}
                                     << White;
    }
    void BoundaryLinesShowWhatChanges()
    {
        QFETCH(Moment, before);
        QFETCH(Moment, after);
        QFETCH(QColor, color);
        CTimeLineFixture fixture({{0x1, before}, {0x2, after}});
        QCOMPARE(fixture.ctrl.GetRowCount(), 2);
        const int y = fixture.ctrl.GetRowHeight();
        QCOMPARE(fixture.Pixel(fixture.ctrl.viewport()->width() - 2, y), color);
        // Nothing is drawn above the first row.
        QCOMPARE(fixture.Pixel(fixture.ctrl.viewport()->width() - 2, 0), White);
    }

    void BoundaryColorsOfUnknownLevelsAreRefused()
    {
        CKivLogTimeLineViewCtrl ctrl(ViewerIds::IdcTimeLine, nullptr);
        CKivLogTimeLineViewCtrl::COLORREF color = 0x123456;
        QCOMPARE(ctrl.GetBoundaryColor(-1, &color), E_INVALIDARG);
        QCOMPARE(ctrl.GetBoundaryColor(4, &color), E_INVALIDARG);
        QCOMPARE(color, 0x123456u);
        QCOMPARE(ctrl.GetBoundaryColor(CKivLogTimeLineViewCtrl::LevelDay, nullptr), E_POINTER);
    }

    // All lines in one slot: one row, which holds both markers and each thread's one-row bar.
    void OneRowShowsBothMarkersInOne()
    {
        CTimeLineFixture fixture({{0x1, Noon(10)}, {0x2, Noon(20)}, {0x1, Noon(90)}});
        CKivLogTimeLineViewCtrl& ctrl = fixture.ctrl;
        QCOMPARE(ctrl.GetRowCount(), 1);
        QCOMPARE(ctrl.MarkerOf(0), QStringLiteral("┿"));
        QCOMPARE(BarRows(fixture, 0), QList<LONG>{0});
        QCOMPARE(BarRows(fixture, 1), QList<LONG>{0});
        QVERIFY(!ctrl.verticalScrollBar()->isVisible());
        std::int64_t first = 0;
        std::int64_t last = 0;
        ctrl.GetRangeTimes(&first, &last);
        QCOMPARE(first, NoonValue);
        QCOMPARE(last, NoonValue);
    }

    // Each step: a mouse message at a row (on the marker column unless offMarkers), then the
    // range and the drag mode it leaves.
    void DraggingTheMarkers()
    {
        std::vector<std::pair<DWORD, Moment>> lines;
        for (int i = 0; i < 10; ++i) {
            lines.push_back({0x1, Noon(i * 100)});
        }
        CTimeLineFixture fixture(lines, 14);
        CKivLogTimeLineViewCtrl& ctrl = fixture.ctrl;
        QCOMPARE(ctrl.GetRowCount(), 10);
        constexpr int Idle = CKivLogTimeLineViewCtrl::DragIdle;
        constexpr int First = CKivLogTimeLineViewCtrl::DragFirst;
        constexpr int Last = CKivLogTimeLineViewCtrl::DragLast;
        constexpr int Both = CKivLogTimeLineViewCtrl::DragUndecided;
        const struct Step {
            const char* what;
            QEvent::Type type;
            LONG row;
            bool offMarkers;
            LONG first;
            LONG last;
            int mode;
        } steps[] = {
            {"press on a row inside the range", QEvent::MouseButtonPress, 4, false, 0, 9, Idle},
            {"release", QEvent::MouseButtonRelease, 4, false, 0, 9, Idle},
            {"press on the first row right of the markers", QEvent::MouseButtonPress, 0, true, 0, 9, Idle},
            {"release", QEvent::MouseButtonRelease, 0, true, 0, 9, Idle},
            {"press on the first row", QEvent::MouseButtonPress, 0, false, 0, 9, First},
            {"the first marker follows", QEvent::MouseMove, 7, false, 7, 9, First},
            {"above the rows it stops at row 0", QEvent::MouseMove, -1, false, 0, 9, First},
            {"dragged below the last, both on the last row", QEvent::MouseMove, 12, false, 9, 9, First},
            {"release", QEvent::MouseButtonRelease, 12, false, 9, 9, Idle},
            {"press on the one-row range", QEvent::MouseButtonPress, 9, false, 9, 9, Both},
            {"no way chosen yet", QEvent::MouseMove, 9, false, 9, 9, Both},
            {"up: the first marker is chosen, nothing moves yet", QEvent::MouseMove, 4, false, 9, 9, First},
            {"then it follows", QEvent::MouseMove, 3, false, 3, 9, First},
            {"release", QEvent::MouseButtonRelease, 3, false, 3, 9, Idle},
            {"press on the last row", QEvent::MouseButtonPress, 9, false, 3, 9, Last},
            {"above the first, the last stops on it", QEvent::MouseMove, 1, false, 3, 3, Last},
            {"below the rows it stops at the last row", QEvent::MouseMove, 12, false, 3, 9, Last},
            {"the last marker follows", QEvent::MouseMove, 6, false, 3, 6, Last},
            {"release", QEvent::MouseButtonRelease, 6, false, 3, 6, Idle},
            {"press on the first row again", QEvent::MouseButtonPress, 3, false, 3, 6, First},
            {"up to row 0", QEvent::MouseMove, 0, false, 0, 6, First},
            {"release", QEvent::MouseButtonRelease, 0, false, 0, 6, Idle},
            {"press on the last row", QEvent::MouseButtonPress, 6, false, 0, 6, Last},
            {"up to the first row", QEvent::MouseMove, 0, false, 0, 0, Last},
            {"release", QEvent::MouseButtonRelease, 0, false, 0, 0, Idle},
            {"press on the one-row range at row 0", QEvent::MouseButtonPress, 0, false, 0, 0, Both},
            {"down: the last marker is chosen", QEvent::MouseMove, 2, false, 0, 0, Last},
            {"then it follows", QEvent::MouseMove, 5, false, 0, 5, Last},
            {"release", QEvent::MouseButtonRelease, 5, false, 0, 5, Idle},
        };
        // The screen shows the control before the drags start.
        QApplication::processEvents();
        for (const Step& step : steps) {
            const int x = step.offMarkers ? ctrl.ThreadColumnLeft(0) : 1;
            const Qt::MouseButton button = step.type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
            SendMouse(ctrl.viewport(), step.type, QPoint(x, fixture.RowY(step.row)), button);
            QVERIFY2(ctrl.GetRangeFirst() == step.first && ctrl.GetRangeLast() == step.last &&
                         ctrl.GetDragMode() == step.mode,
                     qPrintable(QStringLiteral("%1: range %2..%3 mode %4")
                                    .arg(step.what)
                                    .arg(ctrl.GetRangeFirst())
                                    .arg(ctrl.GetRangeLast())
                                    .arg(ctrl.GetDragMode())));
        }
        QCOMPARE(ctrl.GetTopRow(), 0);
        std::int64_t first = 0;
        std::int64_t last = 0;
        ctrl.GetRangeTimes(&first, &last);
        QCOMPARE(first, NoonValue);
        QCOMPARE(last, NoonValue + 5 * Slot);
        // A marker's move repaints only the marker column.
        QVERIFY(ScreenShowsFullPainting(ctrl));
        // The sizing cursor shows on the range's ends near the left edge only.
        const auto cursorAt = [&](int x, LONG row) {
            SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(x, fixture.RowY(row)), Qt::NoButton);
            return ctrl.viewport()->cursor().shape();
        };
        QCOMPARE(cursorAt(1, 0), Qt::SizeVerCursor);
        QCOMPARE(cursorAt(1, 5), Qt::SizeVerCursor);
        QCOMPARE(cursorAt(1, 3), Qt::ArrowCursor);
        QCOMPARE(cursorAt(ctrl.ThreadColumnLeft(0), 5), Qt::ArrowCursor);
    }

    // A marker dragged above or below the rows scrolls them two rows a step, on each mouse
    // message and on each tick of the timer while the mouse rests; the wheel scrolls by its
    // notches.
    void DraggingOutsideAndTheWheelScroll()
    {
        std::vector<std::pair<DWORD, Moment>> lines;
        for (int i = 0; i < 200; ++i) {
            lines.push_back({0x1, Noon(i * 100)});
        }
        CTimeLineFixture fixture(lines, 10);
        CKivLogTimeLineViewCtrl& ctrl = fixture.ctrl;
        QCOMPARE(ctrl.GetRowCount(), 200);
        QCOMPARE(ctrl.GetVisibleRows(), 11);
        QVERIFY(ctrl.verticalScrollBar()->isVisible());
        QCOMPARE(ctrl.verticalScrollBar()->maximum(), 200 - 11 + 1);

        // After a scroll the screen shows what a full painting gives.
        QApplication::processEvents();
        SendWheel(ctrl.viewport(), -120);
        QCOMPARE(ctrl.GetTopRow(), 3);
        QVERIFY(ScreenShowsFullPainting(ctrl));
        SendWheel(ctrl.viewport(), -30);
        QCOMPARE(ctrl.GetTopRow(), 3);
        SendWheel(ctrl.viewport(), 240);
        QCOMPARE(ctrl.GetTopRow(), 0);
        QCOMPARE(ctrl.verticalScrollBar()->value(), 0);
        QVERIFY(ScreenShowsFullPainting(ctrl));
        ctrl.SetTopRow(1000);
        QCOMPARE(ctrl.GetTopRow(), 190);
        ctrl.SetTopRow(0);

        const int below = ctrl.viewport()->height() + 5;
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, fixture.OnMarker(0), Qt::LeftButton);
        QCOMPARE(ctrl.GetDragMode(), CKivLogTimeLineViewCtrl::DragFirst);
        SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(1, below), Qt::NoButton);
        QCOMPARE(ctrl.GetTopRow(), 2);
        QCOMPARE(ctrl.verticalScrollBar()->value(), 2);
        QCOMPARE(ctrl.GetRangeFirst(), ctrl.RowAt(below) - 2);
        // The mouse rests below the rows: the timer goes on scrolling and moving the marker.
        QCursor::setPos(ctrl.viewport()->mapToGlobal(QPoint(1, below)));
        QTRY_VERIFY(ctrl.GetTopRow() >= 20);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, QPoint(1, below), Qt::LeftButton);
        QVERIFY(ScreenShowsFullPainting(ctrl));
        // And back up, above the rows.
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, fixture.OnMarker(ctrl.GetRangeFirst()), Qt::LeftButton);
        QCOMPARE(ctrl.GetDragMode(), CKivLogTimeLineViewCtrl::DragFirst);
        const LONG scrolled = ctrl.GetTopRow();
        SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(1, -3), Qt::NoButton);
        SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(1, -3), Qt::NoButton);
        QCOMPARE(ctrl.GetTopRow(), scrolled - 4);
        QVERIFY(ScreenShowsFullPainting(ctrl));
        SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(1, fixture.RowY(scrolled)), Qt::NoButton);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, QPoint(1, fixture.RowY(scrolled)), Qt::LeftButton);
        QCOMPARE(ctrl.GetRangeFirst(), scrolled);
        const LONG top = ctrl.GetTopRow();
        QVERIFY(ctrl.GetRangeFirst() >= top);
        QTest::qWait(50);
        QCOMPARE(ctrl.GetTopRow(), top);
        QCOMPARE(ctrl.GetRangeLast(), 199);
    }

    // The thread tab loads the time line; the log tab hands its range to both log views, which
    // dim the lines outside it; another file clears the time line and the views' range.
    void ViewWindowAppliesTheRangeToBothLogViews()
    {
        TempDir dir;
        const auto file = LoadFile(ToQString(dir.WriteFile(
            "range.log", Trace({{0x1, Noon(0)}, {0x2, Noon(100)}, {0x1, Noon(250)}, {0x2, Noon(2000)}}))));
        const auto other = LoadFile(ToQString(dir.WriteFile("other.log", Trace({{0x7, Noon(0)}}))));
        QVERIFY(file != nullptr && other != nullptr);
        CKivLogViewWnd window(nullptr);
        window.resize(700, 400);
        window.show();
        window.SelectFile(file.get());
        CKivLogTimeLineViewCtrl* timeLine = window.GetTimeLine();
        QCOMPARE(timeLine->GetRowCount(), 0);
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        QVERIFY(timeLine->isVisible());
        QCOMPARE(timeLine->GetRowCount(), 4);
        QCOMPARE(timeLine->GetThreadSpans().size(), std::size_t{2});
        // The range is narrowed to rows 1..2 (12:00:00.100 to 12:00:00.200).
        const auto rowY = [&](LONG row) { return static_cast<int>(row) * timeLine->GetRowHeight() + 2; };
        SendMouse(timeLine->viewport(), QEvent::MouseButtonPress, QPoint(1, rowY(0)), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseMove, QPoint(1, rowY(1)), Qt::NoButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonRelease, QPoint(1, rowY(1)), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonPress, QPoint(1, rowY(3)), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseMove, QPoint(1, rowY(2)), Qt::NoButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonRelease, QPoint(1, rowY(2)), Qt::LeftButton);
        QCOMPARE(timeLine->GetRangeFirst(), 1);
        QCOMPARE(timeLine->GetRangeLast(), 2);

        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabLogView);
        for (int i = 0; i < 2; ++i) {
            CKivLogViewCtrl* view = window.GetLogView(i);
            QCOMPARE(view->GetTimeRangeStart(), NoonValue + Slot);
            QCOMPARE(view->GetTimeRangeEnd(), NoonValue + 2 * Slot);
        }
        // Lines 0 (12:00:00.000) and 3 (12:00:02.000) lie outside, 1 and 2 inside.
        CKivLogViewCtrl* view = window.GetLogView(1);
        const QImage image = view->viewport()->grab().toImage();
        const int x = view->ColumnLeft(CKivLogViewCtrl::ColumnMessage) + 300;
        const int row = view->GetRowHeight();
        const QColor dimmed(0xF0, 0xF0, 0xF0);
        QCOMPARE(image.pixelColor(x, row / 2), dimmed);
        QVERIFY(image.pixelColor(x, row + row / 2) != dimmed);
        QVERIFY(image.pixelColor(x, 2 * row + row / 2) != dimmed);
        QCOMPARE(image.pixelColor(x, 3 * row + row / 2), dimmed);

        // Another file: the time line is empty until its tab shows, and no line is dimmed by the
        // range chosen for the first file.
        window.SelectFile(other.get());
        QCOMPARE(timeLine->GetRowCount(), 0);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(window.GetLogView(i)->GetTimeRangeStart(), std::int64_t{0});
            QCOMPARE(window.GetLogView(i)->GetTimeRangeEnd(), std::int64_t{0});
        }
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        QCOMPARE(timeLine->GetRowCount(), 1);
        QCOMPARE(timeLine->GetRangeFirst(), 0);
        QCOMPARE(timeLine->GetRangeLast(), 0);
        // The pages rebuilt from the model while the thread tab shows: the time line stays.
        QEvent update(CKivLogViewWnd::UpdatePageEvent());
        QApplication::sendEvent(&window, &update);
        QCOMPARE(timeLine->GetRowCount(), 1);
    }

    // The view window fills the time line from its thread pages; the engine's line lists give the
    // same axis and bars, also for stamps that go backwards and threads that interleave.
    void PagesAndModelGiveTheSameTimeLine()
    {
        std::vector<std::pair<DWORD, Moment>> lines;
        std::mt19937 random(4242);
        std::uniform_int_distribution<int> thread(1, 5);
        std::uniform_int_distribution<int> ms(0, 20000);
        for (int i = 0; i < 400; ++i) {
            lines.push_back({static_cast<DWORD>(thread(random)), Noon(ms(random))});
        }
        TempDir dir;
        for (const QString& path : {ToQString(dir.WriteFile("random.log", Trace(lines))), SamplePath()}) {
            const auto file = LoadFile(path);
            QVERIFY(file != nullptr);
            CKivLogViewWnd window(nullptr);
            window.SelectFile(file.get());
            CKivLogTimeLineViewCtrl fromPages(ViewerIds::IdcTimeLine, nullptr);
            fromPages.LoadTimeLine(window.GetPages());
            CKivLogTimeLineViewCtrl fromModel(ViewerIds::IdcTimeLine, nullptr);
            QCOMPARE(fromModel.LoadTimeLine(file->GetLogSysMgr()), S_OK);
            QVERIFY(fromModel.GetRowCount() > 0);
            QCOMPARE(fromPages.GetRuns().GetRuns(), fromModel.GetRuns().GetRuns());
            QVERIFY(fromPages.GetThreadSpans() == fromModel.GetThreadSpans());
            QCOMPARE(fromPages.GetRangeLast(), fromModel.GetRowCount() - 1);
        }
    }

    void ApplyFontReachesTheTimeLine()
    {
        CKivLogViewWnd window(nullptr);
        window.resize(500, 300);
        window.show();
        const int small = window.GetTimeLine()->GetRowHeight();
        const int dateWidth = window.GetTimeLine()->GetDateWidth();
        window.ApplyFont(FontOfHeight(-24));
        QVERIFY(window.GetTimeLine()->GetRowHeight() >= small + 10);
        QVERIFY(window.GetTimeLine()->GetDateWidth() > dateWidth);
    }

    void BadInputGivesEmptyOrPartialAxes()
    {
        // No engine, and an engine whose model cannot be had.
        {
            CKivLogTimeLineViewCtrl ctrl(ViewerIds::IdcTimeLine, nullptr);
            ctrl.resize(300, 200);
            ctrl.show();
            QCOMPARE(ctrl.LoadTimeLine(nullptr), S_OK);
            QCOMPARE(ctrl.GetRowCount(), 0);
            CComPtr<CSteeredEngine> engine = CSteeredEngine::CreateObject();
            QCOMPARE(ctrl.LoadTimeLine(engine), E_FAIL);
            QCOMPARE(ctrl.GetRowCount(), 0);
            QVERIFY(!ctrl.verticalScrollBar()->isVisible());
            std::int64_t first = -1;
            std::int64_t last = -1;
            ctrl.GetRangeTimes(&first, &last);
            QCOMPARE(first, std::int64_t{0});
            QCOMPARE(last, std::int64_t{0});
            SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, QPoint(1, 2), Qt::LeftButton);
            QCOMPARE(ctrl.GetDragMode(), CKivLogTimeLineViewCtrl::DragIdle);
            SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, QPoint(1, 2), Qt::LeftButton);
            SendWheel(ctrl.viewport(), -120);
            QCOMPARE(ctrl.GetTopRow(), 0);
            QCOMPARE(ctrl.viewport()->grab().toImage().pixelColor(150, 20), White);
        }
        // A file without a trace line: the load fails and leaves a model without threads.
        {
            TempDir dir;
            const auto broken = LoadFile(ToQString(dir.WriteFile("none.log", "no trace here\r\n")), false);
            QVERIFY(broken != nullptr);
            CKivLogTimeLineViewCtrl ctrl(ViewerIds::IdcTimeLine, nullptr);
            ctrl.LoadTimeLine(broken->GetLogSysMgr());
            QCOMPARE(ctrl.GetRowCount(), 0);
            QCOMPARE(ctrl.GetThreadSpans().size(), std::size_t{0});
        }
        // Threads of one line each: one row each, each bar on its own row.
        {
            CTimeLineFixture fixture({{0x1, Noon(0)}, {0x2, Noon(1000)}, {0x3, Noon(60000)}});
            QCOMPARE(fixture.ctrl.GetRowCount(), 3);
            QCOMPARE(BarRows(fixture, 0), QList<LONG>{0});
            QCOMPARE(BarRows(fixture, 1), QList<LONG>{1});
            QCOMPARE(BarRows(fixture, 2), QList<LONG>{2});
            QCOMPARE(fixture.Pixel(fixture.ctrl.viewport()->width() - 2, 2 * fixture.ctrl.GetRowHeight()),
                     QColor(0xA0, 0xA0, 0xA0));
        }
        // Stamps going backwards in the file: the rows still run forward and the thread's bar
        // spans its earliest to its latest line.
        {
            CTimeLineFixture fixture({{0x1, Noon(5000)}, {0x2, Noon(3000)}, {0x1, Noon(0)}, {0x1, Noon(2000)}});
            QCOMPARE(fixture.ctrl.GetRuns().GetRuns(),
                     (std::vector<Run>{{NoonValue, 1}, {NoonValue + 20 * Slot, 1}, {NoonValue + 30 * Slot, 1},
                                       {NoonValue + 50 * Slot, 1}}));
            QCOMPARE(BarRows(fixture, 0), (QList<LONG>{0, 1, 2, 3}));
            QCOMPARE(BarRows(fixture, 1), QList<LONG>{2});
        }
        // Years apart: one row each, with the date's boundary between them.
        {
            CTimeLineFixture fixture({{0x1, Moment{1999, 12, 31, 23, 59, 59, 950}},
                                      {0x1, Moment{2026, 12, 9, 12, 0, 0, 0}},
                                      {0x2, Moment{2030, 1, 1, 0, 0, 0, 40}}});
            CKivLogTimeLineViewCtrl& ctrl = fixture.ctrl;
            QCOMPARE(ctrl.GetRowCount(), 3);
            QCOMPARE((QStringList{CKivLogTimeLineViewCtrl::DateText(ctrl.RowTime(0)),
                                  CKivLogTimeLineViewCtrl::DateText(ctrl.RowTime(1)),
                                  CKivLogTimeLineViewCtrl::DateText(ctrl.RowTime(2))}),
                     (QStringList{"1999/12/31", "2026/12/09", "2030/01/01"}));
            QCOMPARE(CKivLogTimeLineViewCtrl::TimeText(ctrl.RowTime(0)), QStringLiteral("23:59:59.900"));
            const int right = ctrl.viewport()->width() - 2;
            QCOMPARE(fixture.Pixel(right, ctrl.GetRowHeight()), QColor(0, 0, 0));
            QCOMPARE(fixture.Pixel(right, 2 * ctrl.GetRowHeight()), QColor(0, 0, 0));
            QCOMPARE(BarRows(fixture, 0), (QList<LONG>{0, 1}));
            QCOMPARE(BarRows(fixture, 1), QList<LONG>{2});
        }
    }

    // The main window shows the thread tab of the sample; closing the file leaves an empty
    // time line, which paints and takes mouse messages; the log tab then applies nothing.
    void FileClosedWhileItsTimeLineShows()
    {
        QTemporaryDir temp;
        CKivLogView2Dlg dialog(temp.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        dialog.OpenLogFiles({SamplePath()});
        CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
        tree->setCurrentItem(tree->topLevelItem(0));
        CKivLogViewWnd* window = dialog.GetMainView()->GetViewWnd();
        window->GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        CKivLogTimeLineViewCtrl* timeLine = window->GetTimeLine();
        // The sample's lines all fall within one tenth of a second.
        QCOMPARE(timeLine->GetRowCount(), 1);
        QCOMPARE(timeLine->GetThreadSpans().size(), std::size_t{4});
        QCOMPARE(timeLine->MarkerOf(0), QStringLiteral("┿"));
        if (const QString picture = qEnvironmentVariable("KIV_TIMELINE_PICTURE"); !picture.isEmpty()) {
            QString samplePicture = picture;
            samplePicture.replace(QStringLiteral(".png"), QStringLiteral("-sample.png"));
            QVERIFY(dialog.grab().save(samplePicture, "PNG"));
        }
        QCOMPARE(dialog.CloseSelectedFile(), S_OK);
        QCOMPARE(timeLine->GetRowCount(), 0);
        QVERIFY(!dialog.grab().isNull());
        SendMouse(timeLine->viewport(), QEvent::MouseButtonPress, QPoint(1, 2), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseMove, QPoint(1, 200), Qt::NoButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonRelease, QPoint(1, 200), Qt::LeftButton);
        window->GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabLogView);
        QCOMPARE(window->GetLogView(0)->GetTimeRangeStart(), std::int64_t{0});
        QCOMPARE(window->GetLogView(0)->GetLineCount(), 0);
    }

    // Four threads over a midnight on the thread tab; with KIV_TIMELINE_PICTURE set, the range is
    // narrowed and pictures of the thread tab and of the log tab go to that file and beside it.
    void PictureOfTheThreadTab()
    {
        std::vector<std::pair<DWORD, Moment>> lines;
        for (int i = 0; i < 12; ++i) {
            lines.push_back({0x1000 + static_cast<DWORD>(i % 4), Moment{2026, 12, 9, 23, 59, 59, static_cast<WORD>(i * 90)}});
        }
        for (int i = 0; i < 12; ++i) {
            lines.push_back({0x1000 + static_cast<DWORD>(i % 3), Moment{2026, 12, 10, 0, 0, static_cast<WORD>(i / 4),
                                                                     static_cast<WORD>(i * 70 % 1000)}});
        }
        lines.push_back({0x1003, Moment{2026, 12, 10, 0, 1, 30, 0}});
        lines.push_back({0x1003, Moment{2026, 12, 10, 1, 0, 0, 0}});
        CTraceInWindow shown("midnight.log", Trace(lines), QSize(520, 560));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabThreadInfo);
        CKivLogTimeLineViewCtrl* timeLine = window.GetTimeLine();
        // 23:59:59.0 to .9 (10 rows); 00:00:00.0 to .2, 00:00:01.2 to .4 and 00:00:02.5 to .7
        // (9 rows); 00:01:30.0 and 01:00:00.0.
        QCOMPARE(timeLine->GetRowCount(), 21);
        const LONG midnight = 10;
        QCOMPARE(CKivLogTimeLineViewCtrl::TimeText(timeLine->RowTime(midnight - 1)), QStringLiteral("23:59:59.900"));
        QCOMPARE(CKivLogTimeLineViewCtrl::TimeText(timeLine->RowTime(midnight)), QStringLiteral("00:00:00.000"));
        const QImage image = timeLine->viewport()->grab().toImage();
        QCOMPARE(image.pixelColor(timeLine->viewport()->width() - 2, static_cast<int>(midnight) * timeLine->GetRowHeight()),
                 QColor(0, 0, 0));
        const QString picture = qEnvironmentVariable("KIV_TIMELINE_PICTURE");
        if (picture.isEmpty()) {
            return;
        }
        const auto rowY = [&](LONG row) { return static_cast<int>(row) * timeLine->GetRowHeight() + 2; };
        SendMouse(timeLine->viewport(), QEvent::MouseButtonPress, QPoint(1, rowY(0)), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseMove, QPoint(1, rowY(4)), Qt::NoButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonRelease, QPoint(1, rowY(4)), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonPress, QPoint(1, rowY(20)), Qt::LeftButton);
        SendMouse(timeLine->viewport(), QEvent::MouseMove, QPoint(1, rowY(14)), Qt::NoButton);
        SendMouse(timeLine->viewport(), QEvent::MouseButtonRelease, QPoint(1, rowY(14)), Qt::LeftButton);
        QCOMPARE(timeLine->GetRangeLast(), 14);
        QVERIFY(window.grab().save(picture, "PNG"));
        // The log tab with the range applied, beside it.
        window.GetTabStrip()->setCurrentIndex(CKivLogViewWnd::TabLogView);
        QString logPicture = picture;
        logPicture.replace(QStringLiteral(".png"), QStringLiteral("-log.png"));
        QVERIFY(window.grab().save(logPicture, "PNG"));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TimeLineTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "TimeLineTests.moc"
