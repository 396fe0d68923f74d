// The log view control over hand-made line records (scrolling, marks, the text selection and
// its copy, search, colours, keyboard, bad input) and the view window over small traces written
// here (merge, hide and show, block selection, file switching, marks, closing). Expected texts,
// colours and orders are hand-written facts of the fixtures, not the code's own computations.
// Runs on the offscreen platform.
#include "CKivLogFile.h"
#include "CKivLogThreadPage.h"
#include "CKivLogView2Dlg.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogInfoViewDlg.h"
#include "LogTimes.h"
#include "CKivLogMainViewDlg.h"
#include "LogFont.h"
#include "TraceFixtures.h"
#include "ViewerIds.h"
#include "ViewerTestSupport.h"

#include "KivObject/ComPtr.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Time.h"
#include "KivTestSupport/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <set>
#include <string>
#include <vector>

using Kiv::CComPtr;
using KivTest::TempDir;
using namespace KivViewTest;

namespace {

constexpr WORD KindEnter = 0;
constexpr WORD KindText = 1;
constexpr WORD KindReturn = 2;

// Line records made by hand, stamped 2026/12/09 10:00:00 plus the line's own milliseconds.
class CFakeLines final : public IKivLogViewCtrl_EventHandle {
public:
    void Add(DWORD threadId, std::string text, WORD depth = 0, WORD kind = KindText, WORD ms = 0)
    {
        m_texts.push_back(std::move(text));
        KivLogSysLineInfo line{};
        line.cbSize = sizeof line;
        line.threadId = threadId;
        line.time = SYSTEMTIME{2026, 12, 0, 9, 10, 0, 0, ms};
        line.lineNumber = static_cast<LONG>(m_lines.size()) + 1;
        line.text = m_texts.back().data();
        line.textLength = static_cast<LONG>(m_texts.back().size());
        line.depth = depth;
        line.kind = kind;
        m_lines.push_back(line);
        m_marks.push_back(0);
    }
    HRESULT GetViewLineCount(LONG* count) override
    {
        *count = static_cast<LONG>(m_lines.size());
        return S_OK;
    }
    HRESULT GetViewLine(LONG index, const KivLogSysLineInfo** line) override
    {
        if (index < 0 || index >= static_cast<LONG>(m_lines.size())) {
            return E_FAIL;
        }
        *line = &m_lines[static_cast<std::size_t>(index)];
        return S_OK;
    }
    HRESULT GetLineMark(LONG index, LONG* mark) override
    {
        if (index < 0 || index >= static_cast<LONG>(m_lines.size())) {
            return E_FAIL;
        }
        *mark = m_marks[static_cast<std::size_t>(index)];
        return S_OK;
    }
    HRESULT SetLineMark(LONG index, LONG mark) override
    {
        if (index < 0 || index >= static_cast<LONG>(m_lines.size())) {
            return E_FAIL;
        }
        m_marks[static_cast<std::size_t>(index)] = mark;
        return S_OK;
    }
    HRESULT SetActiveCtrl(CKivLogViewCtrl* ctrl) override
    {
        m_active = ctrl;
        return S_OK;
    }

    std::deque<std::string> m_texts;
    std::vector<KivLogSysLineInfo> m_lines;
    std::vector<LONG> m_marks;
    CKivLogViewCtrl* m_active = nullptr;
};

// A control over lines, shown rows rows high (whole rows below the header).
struct CCtrlFixture {
    explicit CCtrlFixture(CFakeLines& lines, int rows = 10, const LOGFONTW& font = LOGFONTW{}) : ctrl(104, nullptr)
    {
        ctrl.SetEventHandle(&lines);
        ctrl.SetViewFont(ToQFont(font));
        ctrl.resize(700, 200);
        ctrl.Recalc();
        // The viewport is rows rows high.
        const int extra = ctrl.height() - ctrl.viewport()->height();
        ctrl.resize(700, extra + rows * ctrl.GetRowHeight());
        ctrl.show();
        ctrl.Recalc();
    }
    int RowY(LONG row) const { return static_cast<int>(row) * ctrl.GetRowHeight() + ctrl.GetRowHeight() / 2; }
    CKivLogViewCtrl ctrl;
};

QColor PixelAt(CKivLogViewCtrl& ctrl, int x, int y)
{
    return ctrl.viewport()->grab().toImage().pixelColor(x, y);
}

std::int64_t FileTime(WORD ms)
{
    return FileTimeOf(SYSTEMTIME{2026, 12, 0, 9, 10, 0, 0, ms}).value_or(-1);
}

// The first block of the first thread of a file's model.
CComPtr<IKivLogSysBlock> FirstBlock(CKivLogFile& file, DWORD threadId)
{
    CComPtr<IKivLogSysRoot> root;
    CComPtr<IKivLogSysThread> thread;
    CComPtr<Kiv::IKivListItem> item;
    CComPtr<IKivLogSysBlock> block;
    if (FAILED(file.GetLogSysMgr()->GetRootObject(&root)) || FAILED(root->GetLogThread(threadId, IID_PPV_ARGS(&thread))) ||
        FAILED(thread->QueryInterface(IID_PPV_ARGS(&item)))) {
        return nullptr;
    }
    LONG count = 0;
    item->GetChildCount(&count);
    for (LONG i = 0; i < count && block == nullptr; ++i) {
        CComPtr<Kiv::IKivListItem> child;
        if (SUCCEEDED(item->GetChildItem(i, IID_PPV_ARGS(&child)))) {
            child->QueryInterface(IID_PPV_ARGS(&block));
        }
    }
    return block;
}

} // namespace

class LogViewTests : public QObject {
    Q_OBJECT

private slots:
    void TenLinesInTwentyRowsHaveNoScrollBar()
    {
        CFakeLines lines;
        for (int i = 0; i < 10; ++i) {
            lines.Add(0xA, "line");
        }
        CCtrlFixture fixture(lines, 20);
        QVERIFY(fixture.ctrl.GetVisibleRows() >= 20);
        QVERIFY(!fixture.ctrl.verticalScrollBar()->isVisible());
        QCOMPARE(fixture.ctrl.GetTopLine(), 0);
        // Scrolling down cannot leave the first line.
        SendWheel(fixture.ctrl.viewport(), -120);
        QCOMPARE(fixture.ctrl.GetTopLine(), 0);
        // With more lines than rows the bar shows.
        for (int i = 0; i < 20; ++i) {
            lines.Add(0xA, "line");
        }
        fixture.ctrl.Recalc();
        QVERIFY(fixture.ctrl.verticalScrollBar()->isVisible());
    }

    void WheelScrollsThreeRowsPerNotch()
    {
        CFakeLines lines;
        for (int i = 0; i < 100; ++i) {
            lines.Add(0xA, "line");
        }
        CCtrlFixture fixture(lines);
        SendWheel(fixture.ctrl.viewport(), -120);
        QCOMPARE(fixture.ctrl.GetTopLine(), 3);
        QCOMPARE(fixture.ctrl.verticalScrollBar()->value(), 3);
        SendWheel(fixture.ctrl.viewport(), 120);
        QCOMPARE(fixture.ctrl.GetTopLine(), 0);
        SendWheel(fixture.ctrl.viewport(), 120);
        QCOMPARE(fixture.ctrl.GetTopLine(), 0);
        // A small delta of a high-resolution wheel truncates toward zero.
        SendWheel(fixture.ctrl.viewport(), -39);
        QCOMPARE(fixture.ctrl.GetTopLine(), 0);
    }

    void ClickingTheMarkCellSetsAndClearsTheMark()
    {
        CFakeLines lines;
        for (int i = 0; i < 5; ++i) {
            lines.Add(0xA, "line");
        }
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        const int left = ctrl.ColumnLeft(CKivLogViewCtrl::ColumnMark);
        const int right = ctrl.ColumnRight(CKivLogViewCtrl::ColumnMark);
        const QPoint cell((left + right) / 2, fixture.RowY(2));
        // Pixels of the cell that are not its background (0xF0F0FF as 0x00BBGGRR).
        const auto inked = [&] {
            const QImage image = ctrl.viewport()->grab().toImage();
            int count = 0;
            for (int x = left + 1; x < right - 1; ++x) {
                for (int y = 2 * ctrl.GetRowHeight() + 1; y < 3 * ctrl.GetRowHeight(); ++y) {
                    count += image.pixelColor(x, y) != QColor(0xFF, 0xF0, 0xF0) ? 1 : 0;
                }
            }
            return count;
        };
        QCOMPARE(inked(), 0);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, cell, Qt::LeftButton);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, cell, Qt::LeftButton);
        QCOMPARE(lines.m_marks, (std::vector<LONG>{0, 0, 1, 0, 0}));
        QVERIFY(inked() > 0);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, cell, Qt::LeftButton);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, cell, Qt::LeftButton);
        QCOMPARE(lines.m_marks, (std::vector<LONG>{0, 0, 0, 0, 0}));
        QCOMPARE(inked(), 0);
    }

    void DraggedSelectionCopiesTailWholeLinesAndHead_data()
    {
        QTest::addColumn<bool>("downwards");
        QTest::newRow("from line 5 down to line 8") << true;
        QTest::newRow("from line 8 up to line 5") << false;
    }
    void DraggedSelectionCopiesTailWholeLinesAndHead()
    {
        QFETCH(bool, downwards);
        CFakeLines lines;
        for (WORD i = 0; i < 10; ++i) {
            lines.Add(0xA, "row" + std::to_string(i) + " alpha beta", 0, KindText, i);
        }
        CCtrlFixture fixture(lines, 12);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        const QFontMetrics metrics(ToQFont(LOGFONTW{}));
        const int message = ctrl.ColumnLeft(CKivLogViewCtrl::ColumnMessage);
        // The middle of "a" of "alpha" on line 5, the middle of the digit of "row8" on line 8.
        const QPoint onFive(message + metrics.horizontalAdvance("row5 ") + metrics.horizontalAdvance("a") / 2, fixture.RowY(5));
        const QPoint onEight(message + metrics.horizontalAdvance("row") + metrics.horizontalAdvance("8") / 2, fixture.RowY(8));
        const QPoint from = downwards ? onFive : onEight;
        const QPoint to = downwards ? onEight : onFive;
        QVERIFY(!ctrl.HasSelectedText());
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, from, Qt::LeftButton);
        QCOMPARE(ctrl.GetMouseMode(), CKivLogViewCtrl::ModeSelectText);
        // Nothing is selected until the mouse moves.
        QVERIFY(!ctrl.HasSelectedText());
        SendMouse(ctrl.viewport(), QEvent::MouseMove, to, Qt::NoButton);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, to, Qt::LeftButton);
        QCOMPARE(ctrl.GetMouseMode(), CKivLogViewCtrl::ModeIdle);
        QVERIFY(ctrl.HasSelectedText());
        const QString expected = QStringLiteral("alpha beta\r\n"
                                                "[0x0000000A][2026/12/09(10:00:00.006)]row6 alpha beta\r\n"
                                                "[0x0000000A][2026/12/09(10:00:00.007)]row7 alpha beta\r\n"
                                                "[0x0000000A][2026/12/09(10:00:00.008)]row8");
        QCOMPARE(ctrl.GetSelectedText(), expected);
        QApplication::clipboard()->clear();
        QVERIFY(ctrl.OnCommand(ViewerIds::IdEditCopy));
        QCOMPARE(QApplication::clipboard()->text(), expected);
    }

    void DragSelectionBelowTheRowsScrollsAndCopiesThousandsOfLines()
    {
        CFakeLines lines;
        for (int i = 0; i < 3000; ++i) {
            lines.Add(0xA, "x" + std::to_string(i));
        }
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        const int message = ctrl.ColumnLeft(CKivLogViewCtrl::ColumnMessage);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, QPoint(message + 1, fixture.RowY(0)), Qt::LeftButton);
        // Below the rows each move scrolls two rows on.
        const QPoint below(message + 400, ctrl.viewport()->height() + 5);
        SendMouse(ctrl.viewport(), QEvent::MouseMove, below, Qt::NoButton);
        QCOMPARE(ctrl.GetTopLine(), 2);
        SendMouse(ctrl.viewport(), QEvent::MouseMove, below, Qt::NoButton);
        QCOMPARE(ctrl.GetTopLine(), 4);
        ctrl.SetTopLine(2990);
        ctrl.UpdateScroll();
        SendMouse(ctrl.viewport(), QEvent::MouseMove, below, Qt::NoButton);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, below, Qt::LeftButton);
        const QStringList copied = ctrl.GetSelectedText().split(QStringLiteral("\r\n"));
        // Line 0 from its first character, then every line to the last, each with its header.
        QCOMPARE(copied.size(), 3000);
        QCOMPARE(copied.front(), QStringLiteral("[0x0000000A][2026/12/09(10:00:00.000)]x0"));
        QCOMPARE(copied.back(), QStringLiteral("[0x0000000A][2026/12/09(10:00:00.000)]x2999"));
    }

    void HoldingTheMouseBelowTheRowsKeepsScrolling()
    {
        CFakeLines lines;
        for (int i = 0; i < 500; ++i) {
            lines.Add(0xA, "line");
        }
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        const int message = ctrl.ColumnLeft(CKivLogViewCtrl::ColumnMessage);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, QPoint(message + 1, fixture.RowY(0)), Qt::LeftButton);
        // The pointer rests below the rows; no further mouse message comes, the timer scrolls.
        QCursor::setPos(ctrl.viewport()->mapToGlobal(QPoint(message + 20, ctrl.viewport()->height() + 10)));
        QTRY_VERIFY(ctrl.GetTopLine() >= 10);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, QPoint(message + 20, ctrl.viewport()->height() + 10),
                  Qt::LeftButton);
        const LONG top = ctrl.GetTopLine();
        QTest::qWait(50);
        QCOMPARE(ctrl.GetTopLine(), top);
    }

    void LongLinesScrollHorizontallyByPixels()
    {
        CFakeLines lines;
        lines.Add(0xA, std::string(1024, 'w'));
        lines.Add(0xA, "short");
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        ctrl.viewport()->grab();
        QScrollBar* bar = ctrl.horizontalScrollBar();
        QVERIFY(bar->isEnabled());
        QVERIFY(bar->maximum() > 0);
        QTest::keyClick(&ctrl, Qt::Key_End);
        QCOMPARE(ctrl.GetHorzOffset(), bar->maximum());
        QTest::keyClick(&ctrl, Qt::Key_Home);
        QCOMPARE(ctrl.GetHorzOffset(), 0);
        bar->setValue(17);
        QCOMPARE(ctrl.GetHorzOffset(), 17);
        // Without the long line nothing is wider than the column: the bar is off, the offset 0.
        lines.m_texts.front() = "w";
        lines.m_lines.front().textLength = 1;
        ctrl.viewport()->grab();
        QVERIFY(!bar->isEnabled());
        QCOMPARE(ctrl.GetHorzOffset(), 0);
    }

    void FindNextVisitsEveryMatchThenGivesZero()
    {
        CFakeLines lines;
        lines.Add(0xA, "no hit here");
        lines.Add(0xA, "Error one, ERROR two", 0, KindText, 1);
        lines.Add(0xA, "nothing");
        lines.Add(0xA, "last error");
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        ctrl.SetSearchText(QStringLiteral("error"));
        ctrl.SetSearchPosition(0, 0);
        const QStringList expected{QStringLiteral("[0x0000000A][2026/12/09(10:00:00.001)]Error"), QStringLiteral("ERROR"),
                                   QStringLiteral("error")};
        for (const QString& match : expected) {
            QCOMPARE(ctrl.FindNext(), 1);
            QCOMPARE(ctrl.GetSelectedText(), match);
        }
        QCOMPARE(ctrl.FindNext(), 0);
        // An empty search text finds nothing.
        ctrl.SetSearchText(QString());
        ctrl.SetSearchPosition(0, 0);
        QCOMPARE(ctrl.FindNext(), 0);
    }

    void FindNextNeverStartsOnATrailByte()
    {
        // "ア" is 0x83 0x41 (its trail byte is "A"), "表" is 0x95 0x5C (its trail byte is "\").
        CFakeLines lines;
        lines.Add(0xA, "\x83\x41xa");
        lines.Add(0xA, "\x95\x5C\\");
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        struct Case {
            QString text;
            QString match;
        };
        for (const Case& search : {Case{QStringLiteral("a"), QStringLiteral("a")}, Case{QStringLiteral("\\"), QStringLiteral("\\")}}) {
            ctrl.SetSearchText(search.text);
            ctrl.SetSearchPosition(0, 0);
            QCOMPARE(ctrl.FindNext(), 1);
            QCOMPARE(ctrl.GetSelectedText(), search.match);
            QCOMPARE(ctrl.FindNext(), 0);
        }
        // A double-byte search text is found where it stands.
        ctrl.SetSearchText(QStringLiteral("表"));
        ctrl.SetSearchPosition(0, 0);
        QCOMPARE(ctrl.FindNext(), 1);
        QCOMPARE(ctrl.GetSelectedText(), QStringLiteral("[0x0000000A][2026/12/09(10:00:00.000)]表"));
    }

    void ColoursFollowRangeHighlightAndTimeRange()
    {
        CFakeLines lines;
        lines.Add(0xA, "first", 0, KindText, 0);
        lines.Add(0xB, "second", 0, KindText, 1);
        lines.Add(0xA, "third", 0, KindText, 2);
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        const int row = ctrl.GetRowHeight();
        const auto at = [&](CKivLogViewCtrl::ColumnType column, int line) {
            return PixelAt(ctrl, ctrl.ColumnLeft(column) + 1, line * row + 1);
        };
        // Normal rows: thread 0xE0E0E0, mark 0xF0F0FF (red is the low byte), message 0xF8F8F8.
        QCOMPARE(at(CKivLogViewCtrl::ColumnThread, 0), QColor(0xE0, 0xE0, 0xE0));
        QCOMPARE(at(CKivLogViewCtrl::ColumnMark, 0), QColor(0xFF, 0xF0, 0xF0));
        QCOMPARE(at(CKivLogViewCtrl::ColumnMessage, 0), QColor(0xF8, 0xF8, 0xF8));
        QCOMPARE(at(CKivLogViewCtrl::ColumnTime, 0), QColor(0xD0, 0xD0, 0xD0));

        // Highlight the thread of line 1 through its thread cell and the command.
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress,
                  QPoint(ctrl.ColumnLeft(CKivLogViewCtrl::ColumnThread) + 5, fixture.RowY(1)), Qt::LeftButton);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease,
                  QPoint(ctrl.ColumnLeft(CKivLogViewCtrl::ColumnThread) + 5, fixture.RowY(1)), Qt::LeftButton);
        QCOMPARE(ctrl.GetHotLine(), 1);
        QVERIFY(ctrl.OnCommand(ViewerIds::IdHighlightThread));
        QCOMPARE(ctrl.GetHighlightThread(), DWORD{0xB});
        QCOMPARE(at(CKivLogViewCtrl::ColumnThread, 1), QColor(0xEF, 0xEF, 0xEF));
        QCOMPARE(at(CKivLogViewCtrl::ColumnThread, 0), QColor(0xE0, 0xE0, 0xE0));
        QCOMPARE(at(CKivLogViewCtrl::ColumnThread, 2), QColor(0xE0, 0xE0, 0xE0));

        // Inside the selected range: the highlighted thread's message cell takes the selected
        // background, another thread's keeps the normal one; other columns take the selected one.
        ctrl.SetSelectRange(0, 2);
        QCOMPARE(at(CKivLogViewCtrl::ColumnMessage, 1), QColor(0xFF, 0xFF, 0xFF));
        QCOMPARE(at(CKivLogViewCtrl::ColumnMessage, 0), QColor(0xF8, 0xF8, 0xF8));
        QCOMPARE(at(CKivLogViewCtrl::ColumnTime, 0), QColor(0xDF, 0xDF, 0xDF));

        // A time range from ms 1: line 0 lies before it; the end is rounded up to the next
        // 100 ms, so line 2 (ms 2) lies inside.
        ctrl.SetTimeRange(FileTime(1), FileTime(1));
        QCOMPARE(at(CKivLogViewCtrl::ColumnTime, 0), QColor(0xF0, 0xF0, 0xF0));
        QCOMPARE(at(CKivLogViewCtrl::ColumnThread, 0), QColor(0xF0, 0xF0, 0xF0));
        QCOMPARE(at(CKivLogViewCtrl::ColumnTime, 2), QColor(0xDF, 0xDF, 0xDF));
    }

    void MessageTextAndLineHeader_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("depth 2 entry") << 2 << int{KindEnter} << QByteArray(" Foo()") << QStringLiteral("││┌ Foo()");
        QTest::newRow("depth 1 return") << 1 << int{KindReturn} << QByteArray(" Foo()") << QStringLiteral("│└ Foo()");
        QTest::newRow("depth 3 text") << 3 << int{KindText} << QByteArray(" msg") << QStringLiteral("│││ msg");
        QTest::newRow("Japanese") << 0 << int{KindText} << QByteArray("\x93\xfa\x96\x7b") << QStringLiteral("日本");
    }
    void MessageTextAndLineHeader()
    {
        QFETCH(int, depth);
        QFETCH(int, kind);
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        KivLogSysLineInfo line{};
        line.threadId = 0x1F2E;
        line.time = SYSTEMTIME{2026, 1, 0, 2, 3, 4, 5, 6};
        line.text = text.constData();
        line.textLength = static_cast<LONG>(text.size());
        line.depth = static_cast<WORD>(depth);
        line.kind = static_cast<WORD>(kind);
        QCOMPARE(CKivLogViewCtrl::MessageText(line), expected);
        QCOMPARE(CKivLogViewCtrl::LineHeader(line), QStringLiteral("[0x00001F2E][2026/01/02(03:04:05.006)]"));
    }

    void KeyboardScrollsByRowsAndPages()
    {
        CFakeLines lines;
        for (int i = 0; i < 100; ++i) {
            lines.Add(0xA, "line");
        }
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        const LONG page = ctrl.GetVisibleRows();
        struct Step {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            LONG top;
        };
        const LONG last = 100 - page + 1;
        for (const Step& step : {Step{Qt::Key_Up, Qt::NoModifier, 0}, Step{Qt::Key_Down, Qt::NoModifier, 1},
                                 Step{Qt::Key_PageDown, Qt::NoModifier, 1 + page}, Step{Qt::Key_PageUp, Qt::NoModifier, 1},
                                 Step{Qt::Key_End, Qt::ControlModifier, last}, Step{Qt::Key_Down, Qt::NoModifier, last},
                                 Step{Qt::Key_Home, Qt::ControlModifier, 0}}) {
            QTest::keyClick(&ctrl, step.key, step.modifiers);
            QCOMPARE(ctrl.GetTopLine(), step.top);
        }
    }

    void DraggingTheTimeColumnMovesTheList()
    {
        CFakeLines lines;
        for (int i = 0; i < 100; ++i) {
            lines.Add(0xA, "line");
        }
        CCtrlFixture fixture(lines);
        CKivLogViewCtrl& ctrl = fixture.ctrl;
        ctrl.SetTopLine(20);
        ctrl.UpdateScroll();
        const int x = ctrl.ColumnLeft(CKivLogViewCtrl::ColumnTime) + 5;
        SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, QPoint(x, fixture.RowY(2)), Qt::LeftButton);
        QCOMPARE(ctrl.GetMouseMode(), CKivLogViewCtrl::ModeDragList);
        QCOMPARE(ctrl.viewport()->cursor().shape(), Qt::BitmapCursor);
        SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(x, fixture.RowY(2) + 3 * ctrl.GetRowHeight()), Qt::NoButton);
        QCOMPARE(ctrl.GetTopLine(), 17);
        SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, QPoint(x, fixture.RowY(5)), Qt::LeftButton);
        QCOMPARE(ctrl.GetMouseMode(), CKivLogViewCtrl::ModeIdle);
    }

    void BadInputDrawsAndNeverCrashes()
    {
        CFakeLines lines;
        lines.Add(0xA, "\xFF\xFE bad \x85");                    // undefined bytes and a lone lead byte at the end
        lines.Add(0xA, std::string(1023, 'x') + "\x82");        // 1024 bytes ending in a cut double-byte character
        lines.Add(0xB, "");                                     // an empty text
        for (const QString& face : {QString(), QStringLiteral("No Such Face 12345")}) {
            LOGFONTW font;
            SetFaceName(font, face.toStdU16String());
            CCtrlFixture fixture(lines, 10, font);
            CKivLogViewCtrl& ctrl = fixture.ctrl;
            QVERIFY(ctrl.GetRowHeight() > 2);
            QVERIFY(!ctrl.viewport()->grab().isNull());
            QVERIFY(CKivLogViewCtrl::MessageText(lines.m_lines[0]).contains(QStringLiteral(" bad ")));
            // Everything selected and copied, then searched.
            const int message = ctrl.ColumnLeft(CKivLogViewCtrl::ColumnMessage);
            SendMouse(ctrl.viewport(), QEvent::MouseButtonPress, QPoint(message, fixture.RowY(0)), Qt::LeftButton);
            SendMouse(ctrl.viewport(), QEvent::MouseMove, QPoint(message + 300, fixture.RowY(2)), Qt::NoButton);
            SendMouse(ctrl.viewport(), QEvent::MouseButtonRelease, QPoint(message + 300, fixture.RowY(2)), Qt::LeftButton);
            QVERIFY(ctrl.GetSelectedText().startsWith(QStringLiteral("[0x0000000A]")));
            ctrl.SetSearchText(QStringLiteral("X"));
            ctrl.SetSearchPosition(0, 0);
            QCOMPARE(ctrl.FindNext(), 1);
            QVERIFY(!ctrl.viewport()->grab().isNull());
        }
        // No lines at all, and no handler.
        CFakeLines none;
        CCtrlFixture empty(none);
        QCOMPARE(empty.ctrl.GetLineCount(), 0);
        QVERIFY(!empty.ctrl.viewport()->grab().isNull());
        QCOMPARE(empty.ctrl.GetSelectedText(), QString());
        CKivLogViewCtrl orphan(105, nullptr);
        QCOMPARE(orphan.Recalc(), E_FAIL);
    }

    // The view window over traces written here.
    void MergeKeepsFileOrderAndHidingRemovesAThread()
    {
        const std::string trace = MessageLine(0x1, 0, "a1") + MessageLine(0x2, 0, "b1") + MessageLine(0x1, 0, "a2") +
                                  MessageLine(0x2, 0, "b2") + MessageLine(0x3, 0, "single") + MessageLine(0x1, 0, "a3");
        CTraceInWindow shown("alternate.log", trace);
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        using Pairs = QList<QPair<DWORD, LONG>>;
        QCOMPARE(Merged(window), (Pairs{{1, 1}, {2, 2}, {1, 3}, {2, 4}, {3, 5}, {1, 6}}));
        QCOMPARE(window.GetPages().size(), std::size_t{3});
        QVERIFY(window.FindPage(0x3) != nullptr);
        QCOMPARE(window.FindPage(0x3)->GetLines().size(), std::size_t{1});
        QVERIFY(window.FindPage(0x99) == nullptr);
        SYSTEMTIME first{};
        SYSTEMTIME last{};
        QCOMPARE(window.GetThreadTimes(0x1, &first, &last), S_OK);
        QCOMPARE(window.GetThreadTimes(0x99, &first, &last), E_INVALIDARG);
        QCOMPARE(window.GetThreadTimes(0x1, nullptr, &last), E_INVALIDARG);

        // Hide thread 2 from the thread menu of the current view: its hot line is a line of 2.
        CKivLogViewCtrl* current = window.GetCurrentLogView();
        current->SetHotLine(3);
        QVERIFY(window.OnCommand(ViewerIds::IdHideThread));
        QVERIFY(!window.IsThreadVisible(0x2));
        QCOMPARE(Merged(window), (Pairs{{1, 1}, {1, 3}, {3, 5}, {1, 6}}));
        QCOMPARE(window.GetLogView(0)->GetLineCount(), 4);
        QCOMPARE(window.GetLogView(1)->GetLineCount(), 4);
        window.SetThreadVisible(0x2, true);
        QCOMPARE(Merged(window).size(), 6);
        QCOMPARE(window.GetLogView(0)->GetLineCount(), 6);
        // Hiding and showing in other orders always gives the visible threads in file order.
        window.SetThreadVisible(0x1, false);
        window.SetThreadVisible(0x3, false);
        QCOMPARE(Merged(window), (Pairs{{2, 2}, {2, 4}}));
        window.SetThreadVisible(0x3, true);
        QCOMPARE(Merged(window), (Pairs{{2, 2}, {2, 4}, {3, 5}}));
        window.SetThreadVisible(0x3, true);
        QCOMPARE(Merged(window), (Pairs{{2, 2}, {2, 4}, {3, 5}}));
        window.SetThreadVisible(0x1, true);
        QCOMPARE(Merged(window), (Pairs{{1, 1}, {2, 2}, {1, 3}, {2, 4}, {3, 5}, {1, 6}}));
    }

    void ContextMenusOfferTheirCommands()
    {
        TempDir dir;
        const auto file = LoadFile(ToQString(dir.WriteFile(
            "menu.log", MessageLine(0x1, 0, "a") + MessageLine(0x2, 0, "b") + MessageLine(0x1, 0, "c"))));
        QVERIFY(file != nullptr);
        CKivLogViewWnd window(nullptr);
        window.resize(600, 300);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.SelectFile(file.get());
        CKivLogViewCtrl* view = window.GetLogView(1);
        // The other view becomes current when it takes the focus, the window hands its focus on.
        window.GetLogView(0)->setFocus();
        QCOMPARE(window.GetCurrentLogView(), window.GetLogView(0));
        view->setFocus();
        window.setFocus();
        QVERIFY(view->hasFocus());
        const int row = view->GetRowHeight();
        // Opens the context menu at the point and, once it shows, records its texts and picks the
        // item with the text choice (an empty choice closes it).
        const auto popUp = [&](QPoint point, const QString& choice) {
            QStringList texts;
            QTimer::singleShot(0, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu == nullptr) {
                    return;
                }
                for (QAction* action : menu->actions()) {
                    texts << (action->isSeparator() ? QStringLiteral("-")
                                                    : action->text() + (action->isEnabled() ? "" : " [off]"));
                    if (action->text() == choice) {
                        action->trigger();
                    }
                }
                menu->close();
            });
            QContextMenuEvent event(QContextMenuEvent::Mouse, point, view->viewport()->mapToGlobal(point));
            QApplication::sendEvent(view->viewport(), &event);
            return texts;
        };
        const QString highlight = QStringLiteral("指定のスレッドの強調表示\tCtrl+T(&T)");
        const QString hide = QStringLiteral("指定のスレッドの非表示\tCtrl+H(&H)");
        const QPoint onThreadOfB(view->ColumnLeft(CKivLogViewCtrl::ColumnThread) + 5, row + row / 2);
        QCOMPARE(popUp(onThreadOfB, highlight), (QStringList{highlight, QStringLiteral("-"), hide}));
        QCOMPARE(window.GetCurrentLogView(), view);
        QCOMPARE(view->GetHotLine(), 1);
        QCOMPARE(view->GetHighlightThread(), DWORD{0x2});
        popUp(onThreadOfB, hide);
        QVERIFY(!window.IsThreadVisible(0x2));
        QCOMPARE(window.GetLogView(0)->GetLineCount(), 2);
        const QPoint onMessage(view->ColumnLeft(CKivLogViewCtrl::ColumnMessage) + 5, row / 2);
        QCOMPARE(popUp(onMessage, QString()), QStringList{QStringLiteral("コピー\tCtrl+C(&C) [off]")});
        // The update-page event rebuilds the pages: every thread shows again.
        QEvent update(CKivLogViewWnd::UpdatePageEvent());
        QApplication::sendEvent(&window, &update);
        QVERIFY(window.IsThreadVisible(0x2));
        QCOMPARE(view->GetLineCount(), 3);
    }

    void ApplyFontResizesTheRowsOfBothViews()
    {
        CKivLogViewWnd window(nullptr);
        window.resize(500, 300);
        window.show();
        const int small = window.GetLogView(1)->GetRowHeight();
        LOGFONTW large;
        large.lfHeight = -24;
        window.ApplyFont(large);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(window.GetLogView(i)->GetRowHeight() >= small + 10);
            QCOMPARE(window.GetLogView(i)->GetHeaderHeight(), window.GetLogView(i)->GetRowHeight() + 6);
        }
    }

    void HideAndShowInAnyOrderKeepFileOrder()
    {
        // 400 lines of 5 threads in an irregular pattern (runs of one thread, long gaps).
        std::string trace;
        QList<QPair<DWORD, LONG>> all;
        unsigned seed = 12345;
        for (LONG number = 1; number <= 400; ++number) {
            seed = seed * 1103515245u + 12345u;
            const DWORD thread = 1 + (seed >> 16) % 5;
            trace += MessageLine(thread, 0, "line");
            all << qMakePair(thread, number);
        }
        CTraceInWindow shown("pattern.log", trace);
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        QCOMPARE(Merged(window), all);
        std::set<DWORD> hidden;
        const std::pair<DWORD, bool> steps[] = {{3, false}, {1, false}, {5, false}, {1, true}, {2, false},
                                                {4, false}, {3, true},  {5, true},  {2, true}, {4, true}};
        for (const auto& [thread, visible] : steps) {
            window.SetThreadVisible(thread, visible);
            if (visible) {
                hidden.erase(thread);
            } else {
                hidden.insert(thread);
            }
            QList<QPair<DWORD, LONG>> expected;
            for (const auto& line : all) {
                if (hidden.count(line.first) == 0) {
                    expected << line;
                }
            }
            QCOMPARE(Merged(window), expected);
        }
    }

    void BlockSelectionAndShowLine()
    {
        // Thread 1: a call with return, then a call without one; thread 2 in between.
        const std::string trace = EnterLine(0x1, 0, "A::Run") + MessageLine(0x2, 0, "other") + MessageLine(0x1, 1, "inside") +
                                  ReturnLine(0x1, 0, "A::Run") + MessageLine(0x2, 0, "other2") +
                                  EnterLine(0x1, 0, "B::Open") + MessageLine(0x1, 1, "still open");
        CTraceInWindow shown("blocks.log", trace);
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        const std::unique_ptr<CKivLogFile>& file = shown.file;
        CComPtr<IKivLogSysBlock> closed = FirstBlock(*file, 0x1);
        QVERIFY(closed != nullptr);
        window.SelectBlockRange(closed);
        CKivLogViewCtrl* current = window.GetCurrentLogView();
        QCOMPARE(current->GetSelectFirst(), 0);
        QCOMPARE(current->GetSelectLast(), 3);
        QCOMPARE(current->GetHighlightThread(), DWORD{0x1});

        // The open call: its entry line is line 6 (index 5); it selects to the end of the list.
        CComPtr<IKivLogSysThread> thread;
        CComPtr<IKivLogSysRoot> root;
        QVERIFY(SUCCEEDED(file->GetLogSysMgr()->GetRootObject(&root)));
        QVERIFY(SUCCEEDED(root->GetLogThread(0x1, IID_PPV_ARGS(&thread))));
        CComPtr<Kiv::IKivListItem> item;
        thread->QueryInterface(IID_PPV_ARGS(&item));
        CComPtr<IKivLogSysBlock> open;
        QVERIFY(SUCCEEDED(item->GetChildItem(1, IID_PPV_ARGS(&open))));
        window.SelectBlockRange(open);
        QCOMPARE(current->GetSelectFirst(), 5);
        QCOMPARE(current->GetSelectLast(), 7);

        // Every record is found at its own position.
        LONG count = 0;
        window.GetViewLineCount(&count);
        for (LONG i = 0; i < count; ++i) {
            const KivLogSysLineInfo* line = nullptr;
            window.GetViewLine(i, &line);
            QCOMPARE(window.FindLinePosition(line), i);
        }
    }

    void ShowLineScrollsTheLineIntoView()
    {
        std::string trace;
        for (int i = 0; i < 300; ++i) {
            trace += MessageLine(0x1 + i % 3, 0, "line " + std::to_string(i));
        }
        CTraceInWindow shown("long.log", trace, QSize(600, 400));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        const KivLogSysLineInfo* line = nullptr;
        window.GetViewLine(250, &line);
        QVERIFY(window.ShowLine(line));
        CKivLogViewCtrl* current = window.GetCurrentLogView();
        QVERIFY(current->GetTopLine() <= 250 && 250 < current->GetTopLine() + current->GetVisibleRows());
        QCOMPARE(current->GetHotLine(), 250);
        QVERIFY(!window.ShowLine(nullptr));
    }

    void SwitchingFilesShowsAllThreadsAgainAndKeepsMarks()
    {
        TempDir dir;
        const auto first = LoadFile(ToQString(
            dir.WriteFile("first.log", MessageLine(0x1, 0, "a") + MessageLine(0x2, 0, "b") + MessageLine(0x1, 0, "c"))));
        const auto second = LoadFile(ToQString(dir.WriteFile("second.log", MessageLine(0x7, 0, "z"))));
        QVERIFY(first != nullptr && second != nullptr);
        CKivLogViewWnd window(nullptr);
        window.SelectFile(first.get());
        QCOMPARE(window.SetLineMark(0, 1), S_OK);
        QCOMPARE(window.SetLineMark(3, 1), E_FAIL);
        window.SetThreadVisible(0x2, false);
        QCOMPARE(Merged(window).size(), 2);
        window.SelectFile(second.get());
        QCOMPARE(Merged(window).size(), 1);
        LONG mark = -1;
        QCOMPARE(window.GetLineMark(0, &mark), S_OK);
        QCOMPARE(mark, 0);
        window.SelectFile(first.get());
        QCOMPARE(Merged(window).size(), 3);
        QVERIFY(window.IsThreadVisible(0x2));
        QCOMPARE(window.GetLineMark(0, &mark), S_OK);
        QCOMPARE(mark, 1);
        QCOMPARE(window.GetCurrentLogView()->GetSelectFirst(), -1);
        QCOMPARE(window.GetCurrentLogView()->GetHighlightThread(), DWORD{0});
    }

    void EmptyModelAndClosedFileShowNothing()
    {
        TempDir dir;
        // A file without any trace line fails to load and leaves an empty model.
        const auto broken = LoadFile(ToQString(dir.WriteFile("none.log", "no trace here\r\n")), false);
        QVERIFY(broken != nullptr);
        CKivLogViewWnd window(nullptr);
        window.resize(500, 300);
        window.show();
        window.SelectFile(broken.get());
        QCOMPARE(Merged(window).size(), 0);
        QVERIFY(!window.grab().isNull());

        const auto shown = LoadFile(ToQString(dir.WriteFile("one.log", MessageLine(0x1, 0, "only"))));
        QVERIFY(shown != nullptr);
        window.SelectFile(shown.get());
        QCOMPARE(window.SetLineMark(0, 1), S_OK);
        window.ForgetFile(shown.get());
        QVERIFY(window.GetCurrentFile() == nullptr);
        QCOMPARE(Merged(window).size(), 0);
        QCOMPARE(window.GetLogView(1)->GetLineCount(), 0);
        QVERIFY(!window.grab().isNull());
    }

    // A view with Japanese text, a mark, a highlighted thread, a selected range and a text
    // selection; the picture goes to the file KIV_VIEW_PICTURE names, when set, to be looked at.
    void PictureWithJapaneseMarkHighlightAndSelection()
    {
        const auto ansi = [](const char* utf8) { return Kiv::Platform::Utf8ToAnsi(utf8); };
        const std::string trace = EnterLine(0x1, 0, "CMain::Run") + Line(0x1, 1, "", ansi("日本語のメッセージ：開始"), 1) +
                                  Line(0x2, 0, "", ansi("別スレッドの処理 ｶﾅ ①"), 2) + EnterLine(0x1, 1, "CWorker::Step") +
                                  Line(0x1, 2, "", ansi("値 = 42、完了しました"), 3) + ReturnLine(0x1, 1, "CWorker::Step") +
                                  Line(0x2, 0, "", ansi("終了"), 4) + ReturnLine(0x1, 0, "CMain::Run");
        CTraceInWindow shown("japanese.log", trace, QSize(760, 260));
        QVERIFY(shown.file != nullptr);
        CKivLogViewWnd& window = shown.window;
        CKivLogViewCtrl* view = window.GetCurrentLogView();
        QCOMPARE(view->GetLineCount(), 8);
        QCOMPARE(window.SetLineMark(1, 1), S_OK);
        view->SetHotLine(2);
        QVERIFY(window.OnCommand(ViewerIds::IdHighlightThread));
        view->SetSelectRange(1, 4);
        const int message = view->ColumnLeft(CKivLogViewCtrl::ColumnMessage);
        const int row = view->GetRowHeight();
        SendMouse(view->viewport(), QEvent::MouseButtonPress, QPoint(message + 60, row + row / 2), Qt::LeftButton);
        SendMouse(view->viewport(), QEvent::MouseMove, QPoint(message + 90, 4 * row + row / 2), Qt::NoButton);
        SendMouse(view->viewport(), QEvent::MouseButtonRelease, QPoint(message + 90, 4 * row + row / 2), Qt::LeftButton);
        QVERIFY(view->GetSelectedText().contains(QStringLiteral("別スレッドの処理 ｶﾅ ①")));
        // The highlighted thread's cells (lines 2 and 6) and the others.
        const QImage image = view->viewport()->grab().toImage();
        const int thread = view->ColumnLeft(CKivLogViewCtrl::ColumnThread) + 1;
        QCOMPARE(image.pixelColor(thread, 2 * row + 1), QColor(0xEF, 0xEF, 0xEF));
        QCOMPARE(image.pixelColor(thread, 6 * row + 1), QColor(0xEF, 0xEF, 0xEF));
        QCOMPARE(image.pixelColor(thread, 0 * row + 1), QColor(0xE0, 0xE0, 0xE0));
        // The thread change above line 2 draws the separator along the top of the message cell.
        QCOMPARE(image.pixelColor(message + 200, 2 * row), QColor(0xBB, 0xD0, 0xE4));
        const QString picture = qEnvironmentVariable("KIV_VIEW_PICTURE");
        if (picture.isEmpty()) {
            return;
        }
        QVERIFY(window.grab().save(picture, "PNG"));
        // The same on the bundled sample, beside it: its third line is Japanese, its seventh the
        // first of another thread.
        const auto sample = LoadFile(QStringLiteral(KIV_SAMPLE_LOG));
        QVERIFY(sample != nullptr);
        window.SelectFile(sample.get());
        QCOMPARE(window.SetLineMark(2, 1), S_OK);
        view->SetHotLine(6);
        QVERIFY(window.OnCommand(ViewerIds::IdHighlightThread));
        view->SetSelectRange(6, 12);
        SendMouse(view->viewport(), QEvent::MouseButtonPress, QPoint(message + 40, 2 * row + row / 2), Qt::LeftButton);
        SendMouse(view->viewport(), QEvent::MouseMove, QPoint(message + 120, 7 * row + row / 2), Qt::NoButton);
        SendMouse(view->viewport(), QEvent::MouseButtonRelease, QPoint(message + 120, 7 * row + row / 2), Qt::LeftButton);
        QVERIFY(view->GetSelectedText().contains(QStringLiteral("キャッシュ")));
        QString samplePicture = picture;
        samplePicture.replace(QStringLiteral(".png"), QStringLiteral("-sample.png"));
        QVERIFY(window.grab().save(samplePicture, "PNG"));
    }

    // The main window: the first file's lines show in the log view; copy goes to the current
    // log view; a closed file leaves the view empty.
    void MainWindowShowsLinesCopiesAndCloses()
    {
        QTemporaryDir temp;
        CKivLogView2Dlg dialog(temp.filePath(QStringLiteral("Setting.xml")));
        dialog.show();
        dialog.OpenLogFiles({QStringLiteral(KIV_SAMPLE_LOG)});
        QCOMPARE(dialog.GetFiles().size(), std::size_t{1});
        CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
        tree->setCurrentItem(tree->topLevelItem(0));
        CKivLogViewWnd* window = dialog.GetMainView()->GetViewWnd();
        QCOMPARE(window->GetCurrentFile(), dialog.GetFiles().front().get());
        CKivLogViewCtrl* view = window->GetCurrentLogView();
        QVERIFY(view->GetLineCount() > 0);

        view->SetSearchText(QStringLiteral("("));
        view->SetSearchPosition(0, 0);
        QCOMPARE(view->FindNext(), 1);
        QApplication::clipboard()->clear();
        auto* copy = dialog.findChild<QAction*>(ViewerIds::ObjectNameOf(ViewerIds::IdEditCopy));
        QVERIFY(copy != nullptr && copy->isEnabled());
        copy->trigger();
        QCOMPARE(QApplication::clipboard()->text(), view->GetSelectedText());
        QVERIFY(!QApplication::clipboard()->text().isEmpty());

        const KivLogSysLineInfo* line = nullptr;
        window->GetViewLine(view->GetLineCount() - 1, &line);
        QCOMPARE(dialog.ShowLogLine(dialog.GetFiles().front().get(), line), S_OK);
        QCOMPARE(view->GetHotLine(), view->GetLineCount() - 1);

        QCOMPARE(dialog.CloseSelectedFile(), S_OK);
        QVERIFY(window->GetCurrentFile() == nullptr);
        QCOMPARE(view->GetLineCount(), 0);
        QVERIFY(!dialog.grab().isNull());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    LogViewTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "LogViewTests.moc"
