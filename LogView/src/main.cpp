// KivLogView2: the viewer program. "KivLogView2 FILE..." opens the files as if dropped on the
// window; "KivLogView2 --screenshot PNG FILE..." loads them, expands the first file's tree,
// writes a picture of the main window into PNG and ends (for machines without a display).
// "--help" prints the usage; after "--" every argument is a file, even one that starts with "-".
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogView2Dlg.h"
#include "CViewSettings.h"
#include "SystemPaths.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

constexpr auto ScreenshotOption = "--screenshot";
constexpr auto Usage = "usage: KivLogView2 [FILE...]\n"
                       "       KivLogView2 --screenshot PNG [FILE...]\n"
                       "Opens the trace log files in the viewer; --screenshot loads them, writes a picture of\n"
                       "the window into PNG and ends. After -- every argument is a file.\n";

struct CommandLine {
    QStringList files;
    QString screenshot;
    bool help = false;
    QString error; // why the arguments cannot be used; empty when they can
};

// The program's arguments left after Qt took its own.
CommandLine ParseCommandLine(int argc, char** argv)
{
    // File names are bytes on Linux: they are decoded byte for byte, so that every name opens.
    const auto toPath = [](const char* argument) { return PathFromSystemBytes(argument); };
    CommandLine line;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const char* const argument = argv[i];
        if (!options || argument[0] != '-' || argument[1] == '\0') {
            line.files << toPath(argument);
        } else if (std::strcmp(argument, "--") == 0) {
            options = false;
        } else if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            line.help = true;
        } else if (std::strcmp(argument, ScreenshotOption) != 0) {
            line.error = QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(argument));
        } else if (i + 1 >= argc) {
            line.error = QStringLiteral("%1 needs the name of the picture").arg(QLatin1String(ScreenshotOption));
        } else {
            line.screenshot = toPath(argv[++i]);
        }
    }
    return line;
}

// Loads the files, selects the first file's node and unfolds it with its folders, as a user
// would, and saves the window's picture. 0 when the picture was written.
int TakeScreenshot(CKivLogView2Dlg& dialog, const CommandLine& line)
{
    dialog.OpenLogFiles(line.files);
    CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
    if (QTreeWidgetItem* first = tree->topLevelItem(0)) {
        tree->setCurrentItem(first);
        tree->expandItem(first);
        for (int i = 0; i < first->childCount(); ++i) {
            tree->expandItem(first->child(i));
        }
    }
    QCoreApplication::processEvents();
    if (!dialog.grab().save(line.screenshot, "PNG")) {
        std::fprintf(stderr, "KivLogView2: cannot write the picture to %s\n", qPrintable(line.screenshot));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KivLogView2"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/KivLogView2.svg")));
    const CommandLine line = ParseCommandLine(argc, argv);
    if (line.help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "KivLogView2: %s\n%s", qPrintable(line.error), Usage);
        return 2;
    }

    CKivLogView2Dlg dialog(CViewSettings::DefaultFile());
    dialog.show();
    if (!line.screenshot.isEmpty()) {
        return TakeScreenshot(dialog, line);
    }
    QTimer::singleShot(0, &dialog, [&dialog, &line] { dialog.OpenLogFiles(line.files); });
    return QApplication::exec();
}
