// KivLogViewBench FILE: the log view on a large trace. Loads FILE through its engine, then times
// building the thread pages and the merged list (selecting the file in the view window), a full
// repaint of the log view at the top, middle and end of the list, hiding and showing a thread
// (each a re-merge without reloading), finding a line's position (ShowLine), and selecting and
// copying 100,000 lines. Each figure is printed with its ratio to the baseline measured in the
// same run on the same file: reading the file and counting its lines (the best of three reads).
// It also prints the memory the pages and the merged list hold per line. Runs on the offscreen
// platform unless QT_QPA_PLATFORM names another. Single-threaded (the user-interface thread).
#include "CKivLogFile.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "ViewerBenchSupport.h"

#include <QApplication>
#include <QMouseEvent>

#include <cstdio>
#include <memory>

using namespace KivViewerBench;

namespace {

// Repaints timed per position, so that one slow frame does not decide the figure.
constexpr int Repaints = 20;
constexpr LONG CopiedLines = 100000;

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: KivLogViewBench FILE\n"
                   "Loads the trace log FILE and times the log view on it against reading the file.\n"
                   "Exit status: 0 on success, 1 when the file cannot be read or loaded, 2 for a usage error.\n",
                   stderr);
        return 2;
    }
    UseOffscreenPlatformUnlessChosen();
    QApplication application(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);

    const std::optional<CBaselineReport> started = StartReport(path, "KivLogViewBench");
    if (!started) {
        return 1;
    }
    const CBaselineReport& report = *started;

    const std::unique_ptr<CKivLogFile> file = LoadForScale(path, report, "KivLogViewBench", "load through the engine (not the view's work; for scale)");
    if (file == nullptr) {
        return 1;
    }

    CKivLogViewWnd window(nullptr);
    window.resize(1280, 900);
    window.show();
    QApplication::processEvents();
    report.Print("select the file: build the pages and merge them", Time([&] { window.SelectFile(file.get()); }));
    CKivLogViewCtrl* view = window.GetCurrentLogView();
    LONG count = 0;
    window.GetViewLineCount(&count);
    std::size_t pageLines = 0;
    std::size_t pageBytes = 0;
    for (const auto& page : window.GetPages()) {
        pageLines += page->GetLines().size();
        pageBytes += page->GetLines().capacity() * sizeof(void*);
    }
    const std::size_t mergedBytes = static_cast<std::size_t>(count) * sizeof(void*);
    std::printf("%ld lines merged from %zu threads; pages and merged list hold %.2f pointers per line\n",
                static_cast<long>(count), window.GetPages().size(),
                static_cast<double>(pageBytes + mergedBytes) / sizeof(void*) / static_cast<double>(std::max<LONG>(count, 1)));

    const struct {
        const char* what;
        LONG top;
    } positions[] = {{"repaint the log view at the top (one repaint)", 0},
                     {"repaint the log view in the middle (one repaint)", count / 2},
                     {"repaint the log view at the end (one repaint)", count}};
    for (const auto& position : positions) {
        view->SetTopLine(position.top);
        view->UpdateScroll();
        view->viewport()->repaint();
        const double seconds = Time([&] {
            for (int i = 0; i < Repaints; ++i) {
                view->viewport()->repaint();
            }
        });
        report.Print(position.what, seconds / Repaints);
    }

    const DWORD hidden = window.GetPages().empty() ? 0 : window.GetPages().front()->GetThreadId();
    report.Print("hide one thread (re-merge)", Time([&] { window.SetThreadVisible(hidden, false); }));
    report.Print("show it again (re-merge)", Time([&] { window.SetThreadVisible(hidden, true); }));

    const KivLogSysLineInfo* last = nullptr;
    window.GetViewLine(count - 1, &last);
    report.Print("show the last line (binary search, scroll)", Time([&] { window.ShowLine(last); }));

    // 100,000 lines from the middle, selected by a drag of the mouse, then copied.
    const LONG first = count / 2;
    const auto send = [view](QEvent::Type type, QPoint position) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, QPointF(position), QPointF(view->viewport()->mapToGlobal(position)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    };
    const QPoint start(view->ColumnLeft(CKivLogViewCtrl::ColumnMessage) + 1, view->GetRowHeight() / 2);
    const QPoint end(start.x() + 5000, start.y());
    QString copied;
    report.Print("select 100,000 lines by a drag and build the copied text", Time([&] {
                     view->SetTopLine(first);
                     view->UpdateScroll();
                     send(QEvent::MouseButtonPress, start);
                     view->SetTopLine(first + CopiedLines - 1);
                     view->UpdateScroll();
                     send(QEvent::MouseMove, end);
                     send(QEvent::MouseButtonRelease, end);
                     copied = view->GetSelectedText();
                 }));
    std::printf("(%lld characters, %lld lines)\n", static_cast<long long>(copied.size()),
                static_cast<long long>(copied.count(QStringLiteral("\r\n")) + 1));
    return 0;
}
