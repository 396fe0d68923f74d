// The find and option dialogs in the main window: the find walk through every occurrence, the
// end message once and the restart, editing the text, the initial text from the selection, the
// hidden upward box, closing; the font chosen and taken or cancelled, applied at once and kept
// in "Setting.xml". Message boxes and the font chooser are answered by watchers the moment they
// show, so nothing waits for a user. Set KIV_LIST_PICTURES to a folder to get pictures of the
// dialogs there. Runs on the offscreen platform.
#include "CKivLogFileTreeCtrl.h"
#include "CKivLogFindDlg.h"
#include "CKivLogInfoViewDlg.h"
#include "CKivLogMainViewDlg.h"
#include "CKivLogOptionDlg.h"
#include "CKivLogView2Dlg.h"
#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "CViewSettings.h"
#include "TraceFixtures.h"
#include "ViewerIds.h"
#include "ViewerTestSupport.h"

#include "KivTestSupport/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using KivTest::TempDir;
using namespace KivViewTest;

namespace {

template <class T>
T* Find(QObject* parent, int id)
{
    return parent->findChild<T*>(ViewerIds::ObjectNameOf(id));
}

// Answers every message box the moment it shows, and keeps what it said.
class CMessageAnswerer {
public:
    CMessageAnswerer()
        : m_watcher([this](QMessageBox* box) {
              m_texts << box->text();
              m_titles << box->windowTitle();
              m_parents << box->parentWidget();
              QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
          })
    {
    }
    QStringList m_texts;
    QStringList m_titles;
    QList<QWidget*> m_parents;

private:
    CShowWatcher<QMessageBox> m_watcher;
};

// A main window with a file loaded and made current, in a settings folder of its own.
struct CMainFixture {
    explicit CMainFixture(const QString& path) : dialog(temp.filePath(QStringLiteral("Setting.xml")))
    {
        dialog.show();
        if (!path.isEmpty()) {
            dialog.OpenLogFiles({path});
            CKivLogFileTreeCtrl* tree = dialog.GetInfoView()->GetTree();
            tree->setCurrentItem(tree->topLevelItem(0));
        }
    }
    CKivLogViewWnd* ViewWnd() const { return dialog.GetMainView()->GetViewWnd(); }
    CKivLogViewCtrl* View() const { return ViewWnd()->GetCurrentLogView(); }
    void Trigger(int command) { Find<QAction>(&dialog, command)->trigger(); }
    // The find command, then the dialog it shows.
    CKivLogFindDlg* OpenFind()
    {
        Trigger(ViewerIds::IdEditFind);
        return dialog.GetFindDlg();
    }

    QTemporaryDir temp;
    CKivLogView2Dlg dialog;
};

// Four occurrences of "key" in four spellings, two of them in one line, in lines of two threads.
std::string KeyTrace()
{
    return MessageLine(0x1, 0, "key and Key") + MessageLine(0x2, 0, "nothing here") + MessageLine(0x1, 0, "KEY") +
           MessageLine(0x2, 0, "xkEyx");
}

QString PictureFolder()
{
    return qEnvironmentVariable("KIV_LIST_PICTURES");
}

} // namespace

class DialogTests final : public QObject {
    Q_OBJECT

private slots:
    // Each press finds the next occurrence, several in one line included, from top to bottom;
    // after the last the message shows once, and the next press starts again at the first.
    void FindWalksEveryOccurrenceThenRestarts()
    {
        TempDir dir;
        CMainFixture window(ToQString(dir.WriteFile("keys.log", KeyTrace())));
        QVERIFY(window.ViewWnd()->GetCurrentFile() != nullptr);
        CKivLogFindDlg* find = window.OpenFind();
        QVERIFY(find != nullptr && find->isVisible());
        QVERIFY(!find->isModal());
        Find<QLineEdit>(find, ViewerIds::IdcFindText)->setText(QStringLiteral("key"));
        QPushButton* search = Find<QPushButton>(find, ViewerIds::IdOk);
        QCOMPARE(search->text(), QStringLiteral("検索(&F)"));
        CMessageAnswerer answers;
        const QStringList found = {"key", "Key", "KEY", "kEy"};
        for (const QString& text : found) {
            search->click();
            QCOMPARE(window.View()->GetSelectedText(), text);
            QVERIFY(answers.m_texts.isEmpty());
        }
        search->click();
        QCOMPARE(answers.m_texts, QStringList{QStringLiteral("最後まで検索しました。")});
        QCOMPARE(answers.m_titles, QStringList{QStringLiteral("KivLogView2")});
        QCOMPARE(answers.m_parents, QList<QWidget*>{find});
        QVERIFY(find->GetRestart());
        for (const QString& text : found) {
            search->click();
            QCOMPARE(window.View()->GetSelectedText(), text);
        }
        QCOMPARE(answers.m_texts.size(), 1);

        // Editing the text between presses starts again from the first line.
        Find<QLineEdit>(find, ViewerIds::IdcFindText)->setText(QStringLiteral("key and"));
        QVERIFY(find->GetRestart());
        search->click();
        QCOMPARE(window.View()->GetSelectedText(), QStringLiteral("key and"));
        search->click();
        QCOMPARE(answers.m_texts.size(), 2);
        // An empty text finds nothing.
        Find<QLineEdit>(find, ViewerIds::IdcFindText)->clear();
        search->click();
        QCOMPARE(answers.m_texts.size(), 3);
        // Enter presses the search button.
        Find<QLineEdit>(find, ViewerIds::IdcFindText)->setText(QStringLiteral("nothing"));
        QTest::keyClick(Find<QLineEdit>(find, ViewerIds::IdcFindText), Qt::Key_Return);
        QCOMPARE(window.View()->GetSelectedText(), QStringLiteral("nothing"));
    }

    // The find command: a new window starts with the current log view's selection; a window
    // already open keeps its text; Escape closes the window and the next search starts anew.
    // The upward box is there but never shown.
    void FindDialogStartsWithTheSelection()
    {
        TempDir dir;
        CMainFixture window(ToQString(dir.WriteFile("keys.log", KeyTrace())));
        CKivLogViewCtrl* view = window.View();
        view->SetSearchText(QStringLiteral("nothing"));
        view->SetSearchPosition(0, 0);
        QCOMPARE(view->FindNext(), 1);
        CKivLogFindDlg* find = window.OpenFind();
        QCOMPARE(find->windowTitle(), QStringLiteral("検索"));
        QCOMPARE(find->GetEditText(), QStringLiteral("nothing"));
        auto* upward = Find<QCheckBox>(find, ViewerIds::IdcFindUpward);
        QVERIFY(upward != nullptr);
        QCOMPARE(upward->text(), QStringLiteral("上へ検索(&U)"));
        QVERIFY(upward->isHidden());

        view->SetSearchText(QStringLiteral("xkEyx"));
        view->SetSearchPosition(0, 0);
        QCOMPARE(view->FindNext(), 1);
        QCOMPARE(window.OpenFind(), find);
        QCOMPARE(find->GetEditText(), QStringLiteral("nothing"));

        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible());
        QVERIFY(find->GetRestart());
        QCOMPARE(window.OpenFind(), find);
        QVERIFY(find->isVisible());
        QCOMPARE(find->GetEditText(), QStringLiteral("xkEyx"));
        const QString folder = PictureFolder();
        if (!folder.isEmpty()) {
            QVERIFY(find->grab().save(QDir(folder).filePath(QStringLiteral("dialog-find.png")), "PNG"));
        }
        find->close();
        QVERIFY(!find->isVisible());
    }

    // With no file there is nothing to search: the message shows at once.
    void FindWithoutAFileShowsTheMessage()
    {
        CMainFixture window{QString()};
        CKivLogFindDlg* find = window.OpenFind();
        QCOMPARE(find->GetEditText(), QString());
        Find<QLineEdit>(find, ViewerIds::IdcFindText)->setText(QStringLiteral("key"));
        CMessageAnswerer answers;
        Find<QPushButton>(find, ViewerIds::IdOk)->click();
        QCOMPARE(answers.m_texts.size(), 1);
        // A search without a view window does nothing.
        CKivLogFindDlg alone(nullptr);
        alone.SetSearchText(QStringLiteral("key"));
        alone.OnSearch();
        QCOMPARE(answers.m_texts.size(), 1);
    }

    // The option dialog: a font chosen in the chooser and taken with OK is applied at once to
    // both log views and the tab strip and written to "Setting.xml" at the end; cancelling the
    // option dialog, or the chooser, keeps the old font.
    void OptionDialogTakesOrKeepsTheFont_data()
    {
        QTest::addColumn<bool>("chooseFont");
        QTest::addColumn<bool>("takeOption");
        QTest::addColumn<bool>("changed");
        QTest::newRow("chosen and taken") << true << true << true;
        QTest::newRow("chosen, then cancelled") << true << false << false;
        QTest::newRow("chooser cancelled, then OK") << false << true << false;
    }
    void OptionDialogTakesOrKeepsTheFont()
    {
        QFETCH(bool, chooseFont);
        QFETCH(bool, takeOption);
        QFETCH(bool, changed);
        QTemporaryDir temp;
        const QString settings = temp.filePath(QStringLiteral("Setting.xml"));
        const QString face = QStringLiteral("Noto Serif CJK JP");
        const QString folder = PictureFolder();
        LOGFONTW taken;
        {
            auto dialog = std::make_unique<CKivLogView2Dlg>(settings);
            dialog->show();
            CKivLogViewWnd* window = dialog->GetMainView()->GetViewWnd();
            const LOGFONTW before = *dialog->GetViewFont();
            const int rowHeight = window->GetLogView(0)->GetRowHeight();
            const int tabPixels = window->GetTabStrip()->font().pixelSize();
            int options = 0;
            int choosers = 0;
            CShowWatcher<QFontDialog> chooserWatcher([&](QFontDialog* chooser) {
                ++choosers;
                QTimer::singleShot(0, chooser, [&, chooser] {
                    if (!folder.isEmpty()) {
                        chooser->grab().save(QDir(folder).filePath(QStringLiteral("dialog-font.png")), "PNG");
                    }
                    QFont font(face);
                    font.setPointSize(24);
                    chooser->setCurrentFont(font);
                    if (chooseFont) {
                        chooser->accept();
                    } else {
                        chooser->reject();
                    }
                });
            });
            CShowWatcher<CKivLogOptionDlg> optionWatcher([&](CKivLogOptionDlg* option) {
                ++options;
                QTimer::singleShot(0, option, [&, option] {
                    QCOMPARE(option->windowTitle(), QStringLiteral("設定"));
                    QCOMPARE(option->GetLogFont(), before);
                    auto* choose = Find<QPushButton>(option, ViewerIds::IdcChooseFont);
                    QCOMPARE(choose->text(), QStringLiteral("フォント選択"));
                    choose->click();
                    QCOMPARE(FaceNameOf(option->GetLogFont()) == face, chooseFont);
                    if (!folder.isEmpty()) {
                        option->grab().save(QDir(folder).filePath(QStringLiteral("dialog-option.png")), "PNG");
                    }
                    Find<QPushButton>(option, takeOption ? ViewerIds::IdOk : ViewerIds::IdCancel)->click();
                });
            });
            Find<QAction>(dialog.get(), ViewerIds::IdToolOption)->trigger();
            QCOMPARE(options, 1);
            QCOMPARE(choosers, 1);
            taken = *dialog->GetViewFont();
            QCOMPARE(taken == before, !changed);
            if (changed) {
                QCOMPARE(FaceNameOf(taken), face);
                QVERIFY(taken.lfHeight < -before.lfHeight);
                for (int i = 0; i < 2; ++i) {
                    QVERIFY(window->GetLogView(i)->GetRowHeight() > rowHeight);
                }
                QCOMPARE(window->GetTabStrip()->font().pixelSize(), -taken.lfHeight);
                QCOMPARE(window->GetTabStrip()->font().families().front(), face);
            } else {
                QCOMPARE(window->GetLogView(0)->GetRowHeight(), rowHeight);
                QCOMPARE(window->GetLogView(1)->GetRowHeight(), rowHeight);
                QCOMPARE(window->GetTabStrip()->font().pixelSize(), tabPixels);
            }
        }
        // Written when the main window goes.
        QCOMPARE(CViewSettings::ReadFont(settings), taken);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    DialogTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "DialogTests.moc"
