// The main window: loading with the progress dialog (values, the pause before it closes,
// cancel), files that cannot be loaded, dropped files, closing the selected file, the keys that
// must not close it, its commands and the about box.
#include "CAboutDlg.h"
#include "CDlgLoadProgress.h"
#include "CKivLogFile.h"
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogMainViewDlg.h"
#include "CKivLogView2Dlg.h"
#include "CKivLogViewWnd.h"
#include "ViewerIds.h"
#include "ViewerTestSupport.h"

#include "KivPlatform/ModulePath.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <filesystem>
#include <memory>

using Kiv::CComPtr;
using KivViewTest::CShowWatcher;
using KivViewTest::SamplePath;

namespace {

QStringList FilePaths(const CKivLogView2Dlg& dialog)
{
    QStringList paths;
    for (const auto& file : dialog.GetFiles()) {
        paths << file->GetPath();
    }
    return paths;
}

QStringList TreeTexts(const CKivLogView2Dlg& dialog)
{
    QStringList texts;
    CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        texts << tree->topLevelItem(i)->text(0);
    }
    return texts;
}

// The number of threads in the file's model; -1 when there is no model to ask.
LONG ThreadCount(CKivLogFile* file)
{
    CComPtr<IKivLogSysRoot> root;
    CComPtr<Kiv::IKivListItem> threads;
    LONG count = -1;
    if (FAILED(file->GetLogSysMgr()->GetRootObject(&root)) || FAILED(root->QueryInterface(IID_PPV_ARGS(&threads))) ||
        FAILED(threads->GetChildCount(&count))) {
        return -1;
    }
    return count;
}

bool CopyFile(const QString& from, const QString& to)
{
    return QFile::copy(from, to);
}

// Opens the FIFO for writing if its reader is still waiting after half a minute, so that a
// reader that blocks in its open is let go and the test ends. Finish says whether that happened.
class CFifoWatchdog {
public:
    explicit CFifoWatchdog(QString path)
        : m_thread([this, path] {
              std::unique_lock lock(m_lock);
              if (!m_done.wait_for(lock, std::chrono::seconds(30), [this] { return m_finished; })) {
                  m_fired = true;
                  QFile writer(path);
                  writer.open(QIODevice::WriteOnly);
              }
          })
    {
    }
    ~CFifoWatchdog() { Finish(); }
    bool Finish()
    {
        {
            std::lock_guard lock(m_lock);
            m_finished = true;
        }
        m_done.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_fired;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_fired = false;
    std::thread m_thread;
};

} // namespace

class MainWindowTests final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_temp->isValid());
        m_dialog = std::make_unique<CKivLogView2Dlg>(m_temp->filePath(QStringLiteral("Setting.xml")));
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    }
    void cleanup()
    {
        m_dialog.reset();
        m_temp.reset();
    }

    // Every percentage reaches the bar, up to 100 while the dialog is still open; the dialog
    // closes a second after the end report at the earliest.
    void ProgressReachesTheBarAndTheDialogClosesAfterTheEnd()
    {
        QList<int> values;
        QElapsedTimer shown;
        qint64 openFor = -1;
        bool visibleAt100 = false;
        CShowWatcher<CDlgLoadProgress> watcher([&](CDlgLoadProgress* progress) {
            shown.start();
            auto* bar = progress->findChild<QProgressBar*>(QStringLiteral("id1004"));
            QVERIFY(bar != nullptr);
            QCOMPARE(progress->windowTitle(), QStringLiteral("処理中"));
            QVERIFY(progress->findChild<QLabel*>()->text() == QStringLiteral("解析中です..."));
            connect(bar, &QProgressBar::valueChanged, progress, [&, progress](int value) {
                values << value;
                if (value == 100) {
                    visibleAt100 = progress->isVisible();
                }
            });
            connect(progress, &QDialog::finished, progress, [&] { openFor = shown.elapsed(); });
        });
        m_dialog->OpenLogFiles({SamplePath()});

        QVERIFY(!values.isEmpty());
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        QCOMPARE(values.back(), 100);
        QVERIFY(visibleAt100);
        // The sink waits a second after the end report before it closes the dialog.
        QVERIFY2(openFor >= 990, qPrintable(QString::number(openFor)));
        QCOMPARE(FilePaths(*m_dialog), QStringList{SamplePath()});
        QCOMPARE(TreeTexts(*m_dialog), QStringList{QStringLiteral("sample.log")});
        QVERIFY(ThreadCount(m_dialog->GetFiles().front().get()) > 0);
    }

    // Cancel greys the button and asks the engine to stop; the dialog stays until the engine
    // reports the end; the file is listed.
    void CancelGreysTheButtonAndTheFileIsListed()
    {
        CComPtr<KivViewTest::CSteeredEngine> engine = KivViewTest::CSteeredEngine::CreateObject();
        bool cancelled = false;
        bool buttonEnabledAfterCancel = true;
        bool openAfterCancel = false;
        bool endReportedAtClose = false;
        CShowWatcher<CDlgLoadProgress> watcher([&](CDlgLoadProgress* progress) {
            auto* bar = progress->findChild<QProgressBar*>(QStringLiteral("id1004"));
            auto* cancel = progress->findChild<QPushButton*>(QStringLiteral("id2"));
            QVERIFY(bar != nullptr && cancel != nullptr);
            QCOMPARE(cancel->text(), QStringLiteral("キャンセル"));
            connect(bar, &QProgressBar::valueChanged, progress, [&, progress, cancel](int value) {
                if (value == 50 && !cancelled) {
                    cancelled = true;
                    QTest::mouseClick(cancel, Qt::LeftButton);
                    buttonEnabledAfterCancel = cancel->isEnabled();
                    openAfterCancel = progress->isVisible();
                }
            });
            connect(progress, &QDialog::finished, progress, [&] { endReportedAtClose = engine->EndReported(); });
        });
        m_dialog->OpenLogFile(std::make_unique<CKivLogFile>(m_temp->filePath(QStringLiteral("steered.log")), engine));

        QVERIFY(cancelled);
        QVERIFY(!buttonEnabledAfterCancel);
        QVERIFY(openAfterCancel);
        QCOMPARE(engine->Stops(), 1);
        QVERIFY(endReportedAtClose);
        QCOMPARE(TreeTexts(*m_dialog), QStringList{QStringLiteral("steered.log")});
    }

    // Escape and the close box cancel like the button; they do not end the dialog.
    void EscapeOnTheProgressDialogCancelsWithoutClosing()
    {
        CComPtr<KivViewTest::CSteeredEngine> engine = KivViewTest::CSteeredEngine::CreateObject();
        bool openAfterEscape = false;
        CShowWatcher<CDlgLoadProgress> watcher([&](CDlgLoadProgress* progress) {
            auto* bar = progress->findChild<QProgressBar*>(QStringLiteral("id1004"));
            connect(bar, &QProgressBar::valueChanged, progress, [&, progress](int value) {
                if (value == 50) {
                    QTest::keyClick(progress, Qt::Key_Escape);
                    openAfterEscape = progress->isVisible();
                }
            });
        });
        m_dialog->OpenLogFile(std::make_unique<CKivLogFile>(QStringLiteral("/steered.log"), engine));
        QVERIFY(openAfterEscape);
        QCOMPARE(engine->Stops(), 1);
    }

    // Files the engine cannot open end their dialog at once and are listed with an empty model.
    void FileThatCannotBeLoadedIsListedEmpty_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no trace line") << "text";
        QTest::newRow("empty") << "empty";
        QTest::newRow("directory") << "directory";
        QTest::newRow("deleted") << "deleted";
        QTest::newRow("fifo") << "fifo";
    }
    void FileThatCannotBeLoadedIsListedEmpty()
    {
        QFETCH(QString, kind);
        const QString path = m_temp->filePath(QStringLiteral("bad.log"));
        if (kind == QStringLiteral("text") || kind == QStringLiteral("empty") || kind == QStringLiteral("deleted")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QStringLiteral("text")) {
                file.write("just some text\nwithout a trace header\n");
            }
        }
        if (kind == QStringLiteral("directory")) {
            QVERIFY(QDir().mkpath(path));
        }
        if (kind == QStringLiteral("deleted")) {
            QVERIFY(QFile::remove(path));
        }
        std::unique_ptr<CFifoWatchdog> watchdog;
        if (kind == QStringLiteral("fifo")) {
            QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
            watchdog = std::make_unique<CFifoWatchdog>(path);
        }
        bool progressShown = false;
        CShowWatcher<CDlgLoadProgress> watcher([&](CDlgLoadProgress*) { progressShown = true; });
        m_dialog->OpenLogFiles({path});
        if (watchdog) {
            QVERIFY(!watchdog->Finish());
        }
        QVERIFY(progressShown);
        QCOMPARE(FilePaths(*m_dialog), QStringList{path});
        QCOMPARE(TreeTexts(*m_dialog), QStringList{QStringLiteral("bad.log")});
        QCOMPARE(ThreadCount(m_dialog->GetFiles().front().get()), 0);
    }

    // Three files dropped at once open one after the other in the order of the drop, each with
    // its own progress dialog.
    void DroppedFilesOpenInOrder()
    {
        const QStringList names{QStringLiteral("c.log"), QStringLiteral("a.log"), QStringLiteral("b.log")};
        QStringList paths;
        QList<QUrl> urls;
        for (const QString& name : names) {
            paths << m_temp->filePath(name);
            QVERIFY(CopyFile(SamplePath(), paths.back()));
            urls << QUrl::fromLocalFile(paths.back());
        }
        int dialogs = 0;
        CShowWatcher<CDlgLoadProgress> watcher([&](CDlgLoadProgress*) { ++dialogs; });
        QMimeData data;
        data.setUrls(urls);
        // As the window system delivers a drop: entering, then dropping, on the window.
        const QPoint where = m_dialog->GetMainView()->GetViewWnd()->mapTo(m_dialog.get(), QPoint(20, 20));
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dialog->windowHandle(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dialog->windowHandle(), &drop);
        QVERIFY(drop.isAccepted());

        QTRY_COMPARE_WITH_TIMEOUT(FilePaths(*m_dialog).size(), 3, 120000);
        QCOMPARE(FilePaths(*m_dialog), paths);
        QCOMPARE(TreeTexts(*m_dialog), names);
        QCOMPARE(dialogs, 3);
    }

    // Linux names are bytes: a dropped file whose name is not UTF-8 (Shift_JIS bytes here) opens
    // and loads like any other.
    void DroppedFileWithANameThatIsNotUtf8Opens()
    {
        const QByteArray folder = QFile::encodeName(m_temp->path());
        const QByteArray bytes = folder + "/\x82\xA0-trace.log";
        std::filesystem::copy_file(QFile::encodeName(SamplePath()).toStdString(), bytes.toStdString());
        const QUrl url = QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
        QVERIFY(url.isLocalFile());
        QMimeData data;
        data.setUrls({url});
        const QPoint where = m_dialog->GetMainView()->GetViewWnd()->mapTo(m_dialog.get(), QPoint(20, 20));
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dialog->windowHandle(), &enter);
        QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_dialog->windowHandle(), &drop);

        QTRY_COMPARE_WITH_TIMEOUT(FilePaths(*m_dialog).size(), 1, 120000);
        QCOMPARE(Kiv::Platform::ToSystemPath(FilePaths(*m_dialog).front().toStdU16String()), bytes.toStdString());
        QVERIFY(ThreadCount(m_dialog->GetFiles().front().get()) > 0);
        // QTemporaryDir removes by decoded names, which cannot reach this one.
        std::filesystem::remove(bytes.toStdString());
    }

    // A file asked for while another loads waits for its turn.
    void FileAskedForDuringALoadWaitsItsTurn()
    {
        const QString second = m_temp->filePath(QStringLiteral("second.log"));
        QVERIFY(CopyFile(SamplePath(), second));
        int dialogs = 0;
        CShowWatcher<CDlgLoadProgress> watcher([&](CDlgLoadProgress*) {
            if (++dialogs == 1) {
                m_dialog->OpenLogFiles({second});
            }
        });
        m_dialog->OpenLogFiles({SamplePath()});
        QCOMPARE(FilePaths(*m_dialog), (QStringList{SamplePath(), second}));
        QCOMPARE(dialogs, 2);
    }

    void ClosingWithoutSelectionDoesNothing()
    {
        m_dialog->OpenLogFiles({SamplePath()});
        CKivLogFileTreeCtrl* tree = m_dialog->GetInfoView()->GetTree();
        tree->clearSelection();
        QCOMPARE(m_dialog->CloseSelectedFile(), S_OK);
        m_dialog->findChild<QAction*>(QStringLiteral("id57602"))->trigger();
        QCOMPARE(FilePaths(*m_dialog).size(), 1);
        QCOMPARE(TreeTexts(*m_dialog).size(), 1);
    }

    // The "×" button closes the file of the selected node: its node goes and the other file
    // stays; the tree's selection moves to the other file, which the view then shows. Closing
    // the only file leaves no current file.
    void CloseButtonClosesTheSelectedFile()
    {
        const QString second = m_temp->filePath(QStringLiteral("second.log"));
        QVERIFY(CopyFile(SamplePath(), second));
        m_dialog->OpenLogFiles({SamplePath(), second});
        CKivLogFileTreeCtrl* tree = m_dialog->GetInfoView()->GetTree();
        CKivLogViewWnd* view = m_dialog->GetMainView()->GetViewWnd();
        m_dialog->SelectLogFile(m_dialog->GetFiles().back().get());
        QCOMPARE(view->GetCurrentFile(), m_dialog->GetFiles().back().get());
        QCOMPARE(view->windowTitle(), QStringLiteral("second.log"));

        tree->setCurrentItem(tree->topLevelItem(1));
        auto* close = m_dialog->findChild<QPushButton*>(QStringLiteral("id1002"));
        QVERIFY(close != nullptr);
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(FilePaths(*m_dialog), QStringList{SamplePath()});
        QCOMPARE(TreeTexts(*m_dialog), QStringList{QStringLiteral("sample.log")});
        QCOMPARE(view->GetCurrentFile(), m_dialog->GetFiles().front().get());

        tree->setCurrentItem(tree->topLevelItem(0));
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(FilePaths(*m_dialog).isEmpty());
        QCOMPARE(tree->topLevelItemCount(), 0);
        QVERIFY(view->GetCurrentFile() == nullptr);
    }

    void EscapeAndEnterNeverCloseTheMainWindow()
    {
        m_dialog->activateWindow();
        m_dialog->GetInfoView()->GetTree()->setFocus();
        const Qt::Key keys[] = {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter};
        QWidget* targets[] = {m_dialog.get(), m_dialog->GetInfoView()->GetTree(), m_dialog->GetMainView()->GetViewWnd(),
                              m_dialog->GetClientWidget()};
        for (QWidget* target : targets) {
            for (Qt::Key key : keys) {
                QTest::keyClick(target, key);
            }
        }
        QCoreApplication::processEvents();
        QVERIFY(m_dialog->isVisible());
        QVERIFY(m_dialog->GetInfoView()->isVisible());
        QVERIFY(m_dialog->GetMainView()->isVisible());
    }

    // The commands carry their ids as object names, with their texts and accelerators.
    void CommandsCarryIdsTextsAndAccelerators()
    {
        struct Command {
            int id;
            const char16_t* text;
            QKeySequence shortcut;
        };
        const Command commands[] = {
            {ViewerIds::IdFileOpen, u"ファイルを開く(&O)", {}},
            {ViewerIds::IdFileClose, u"ファイルを閉じる(&C)", {}},
            {ViewerIds::IdAppExit, u"終了(&X)", {}},
            {ViewerIds::IdEditFind, u"検索(&F)", QKeySequence(QStringLiteral("Ctrl+F"))},
            {ViewerIds::IdEditCopy, u"コピー(&C)", QKeySequence(QStringLiteral("Ctrl+C"))},
            {ViewerIds::IdToolOption, u"オプション(&O)", {}},
            {ViewerIds::IdAppAbout, u"バージョン情報(&A)", {}},
        };
        for (const Command& command : commands) {
            auto* action = m_dialog->findChild<QAction*>(ViewerIds::ObjectNameOf(command.id));
            QVERIFY2(action != nullptr, qPrintable(ViewerIds::ObjectNameOf(command.id)));
            QCOMPARE(action->text(), QString::fromUtf16(command.text));
            QCOMPARE(action->shortcut(), command.shortcut);
        }
    }

    void AboutBoxShowsTheVersion()
    {
        QString title;
        QStringList texts;
        CShowWatcher<CAboutDlg> watcher([&](CAboutDlg* about) {
            title = about->windowTitle();
            for (QLabel* label : about->findChildren<QLabel*>()) {
                texts << label->text();
            }
            QTimer::singleShot(0, about, [about] { about->findChild<QPushButton*>(QStringLiteral("id1"))->click(); });
        });
        m_dialog->findChild<QAction*>(QStringLiteral("id32773"))->trigger();
        QCOMPARE(title, QStringLiteral("バージョン情報 KivLogView2"));
        QVERIFY(texts.contains(QStringLiteral("KivLogView Version 2.1")));
    }

    void ExitEndsTheMainWindow()
    {
        m_dialog->findChild<QAction*>(QStringLiteral("id57665"))->trigger();
        QVERIFY(!m_dialog->isVisible());
    }

private:
    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<CKivLogView2Dlg> m_dialog;
};

std::unique_ptr<QObject> MakeMainWindowTests()
{
    return std::make_unique<MainWindowTests>();
}

#include "MainWindowTests.moc"
