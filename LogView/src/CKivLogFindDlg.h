// The find dialog "検索" (template 131, 208 by 58 dialog units): modeless, it stays open while
// its search button is pressed again and again, and each press finds the next occurrence of its
// text in the view window's current log view, which scrolls to it and selects it. After the
// last occurrence a message says so and the next press starts again at the first line. Closing
// hides the window; the main dialog keeps the object and shows it again on the next find
// command. The upward box exists for the template's sake and is never shown: the search runs
// forward only. User-interface thread only.
#pragma once

#include <QDialog>
#include <QString>

class CKivLogViewWnd;
class QCheckBox;
class QLineEdit;

class CKivLogFindDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CKivLogFindDlg(QWidget* parent);

    // The view window whose current log view is searched (not owned; null: none).
    void SetViewWnd(CKivLogViewWnd* viewWnd) { m_viewWnd = viewWnd; }
    // Puts text into the edit control.
    void SetSearchText(const QString& text);
    QString GetEditText() const;
    // Whether the next press starts a new search from the first line.
    bool GetRestart() const { return m_restart; }
    // The search button.
    void OnSearch();

protected:
    // Escape and the close box: the window goes, the next search starts anew.
    void reject() override;

private:
    CKivLogViewWnd* m_viewWnd = nullptr;
    bool m_restart = true;
    bool m_upward = false;
    QString m_searchText;
    QLineEdit* m_edit;
    QCheckBox* m_upwardBox;
};
