// KivTimeLineBench FILE: the time line on a large trace. Loads FILE through its engine, then times
// building the time line's axis and life bars in one pass over every line of every thread (from
// the model's line lists, and from the view window's thread pages), a full repaint, and each step
// of a range marker dragged with the mouse with the repaint it asks for (which must stay within a
// frame of 16 ms). Each figure is printed with its ratio to the baseline measured
// in the same run on the same file: reading the file and counting its lines (the best of three
// reads). Runs on the offscreen platform unless QT_QPA_PLATFORM names another. Single-threaded
// (the user-interface thread).
#include "CKivLogFile.h"
#include "CKivLogTimeLineViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "ViewerBenchSupport.h"
#include "ViewerIds.h"

#include <QApplication>
#include <QMouseEvent>

#include <cstdio>

using namespace KivViewerBench;

namespace {

// Drag steps timed, and the longest a repaint may take to keep up with the screen.
constexpr int DragSteps = 200;
constexpr double FrameSeconds = 0.016;

void SendMouse(QWidget* widget, QEvent::Type type, QPoint position)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(position), QPointF(widget->mapToGlobal(position)), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: KivTimeLineBench FILE\n"
                   "Loads the trace log FILE and times the time line on it against reading the file.\n"
                   "Exit status: 0 on success, 1 when the file cannot be read or loaded, 2 for a usage error.\n",
                   stderr);
        return 2;
    }
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);

    const std::optional<CBaselineReport> started = StartReport(path, "KivTimeLineBench");
    if (!started) {
        return 1;
    }
    const CBaselineReport& report = *started;

    const std::unique_ptr<CKivLogFile> file = LoadForScale(path, report, "KivTimeLineBench", "load through the engine (not the time line's work; for scale)");
    if (file == nullptr) {
        return 1;
    }

    CKivLogTimeLineViewCtrl timeLine(ViewerIds::IdcTimeLine, nullptr);
    timeLine.resize(1280, 900);
    timeLine.show();
    QApplication::processEvents();
    HRESULT status = E_FAIL;
    report.Print("build the time line from the model's line lists (one pass over every line)",
          Time([&] { status = timeLine.LoadTimeLine(file->GetLogSysMgr()); }));
    const LONG modelRows = timeLine.GetRowCount();

    // The view window's way: its thread pages hold every thread's line records already.
    CKivLogViewWnd window(nullptr);
    report.Print("build the view window's thread pages (not the time line's work; for scale)",
          Time([&] { window.SelectFile(file.get()); }));
    report.Print("build the time line from the thread pages (one pass over every line)",
          Time([&] { timeLine.LoadTimeLine(window.GetPages()); }));
    std::printf("%ld rows in %zu runs, %zu threads (the model's pass: %ld rows, status 0x%08X)\n",
                static_cast<long>(timeLine.GetRowCount()), timeLine.GetRuns().GetRunCount(),
                timeLine.GetThreadSpans().size(), static_cast<long>(modelRows), static_cast<unsigned>(status));
    if (timeLine.GetRowCount() < 2) {
        std::fprintf(stderr, "KivTimeLineBench: too few rows to drag a marker over\n");
        return 1;
    }

    QWidget* viewport = timeLine.viewport();
    viewport->repaint();
    double slowest = 0;
    double total = 0;
    for (int i = 0; i < DragSteps; ++i) {
        const double step = Time([&] { viewport->repaint(); });
        total += step;
        slowest = std::max(slowest, step);
    }
    report.Print("repaint the whole time line (mean)", total / DragSteps);
    report.Print("repaint the whole time line (slowest)", slowest);

    // The first marker (row 0 after the load) is taken at the top and moved down and up over the
    // visible rows; each step is the mouse message and the repaint it asks for, flushed to the
    // screen.
    const int rowHeight = timeLine.GetRowHeight();
    SendMouse(viewport, QEvent::MouseButtonPress, QPoint(1, rowHeight / 2));
    const int rows = std::min<int>(timeLine.GetVisibleRows() - 1, static_cast<int>(timeLine.GetRowCount()));
    slowest = 0;
    total = 0;
    for (int i = 0; i < DragSteps; ++i) {
        const int row = (i / rows) % 2 == 0 ? i % rows : rows - 1 - i % rows;
        const double step = Time([&] {
            SendMouse(viewport, QEvent::MouseMove, QPoint(1, row * rowHeight + rowHeight / 2));
            QApplication::processEvents();
        });
        total += step;
        slowest = std::max(slowest, step);
    }
    report.Print("drag the first marker one row and repaint (mean)", total / DragSteps);
    report.Print("drag the first marker one row and repaint (slowest)", slowest);
    double slowestOfAll = slowest;
    // Then held below the rows: each step moves the marker and scrolls the rows by two.
    slowest = 0;
    total = 0;
    const QPoint below(1, viewport->height() + 5);
    for (int i = 0; i < DragSteps; ++i) {
        const double step = Time([&] {
            SendMouse(viewport, QEvent::MouseMove, below);
            QApplication::processEvents();
        });
        total += step;
        slowest = std::max(slowest, step);
    }
    SendMouse(viewport, QEvent::MouseButtonRelease, below);
    std::printf("(top row %ld after the scrolling drag)\n", static_cast<long>(timeLine.GetTopRow()));
    report.Print("drag the first marker below the rows, scroll two rows and repaint (mean)", total / DragSteps);
    report.Print("drag the first marker below the rows, scroll two rows and repaint (slowest)", slowest);
    slowestOfAll = std::max(slowestOfAll, slowest);
    std::printf("slowest drag step %s the %.0f ms frame\n", slowestOfAll <= FrameSeconds ? "within" : "BEYOND",
                FrameSeconds * 1000);
    return 0;
}
