// CKivLogFindDlg: the template's controls and the search walk.
#include "CKivLogFindDlg.h"

#include "CKivLogViewCtrl.h"
#include "CKivLogViewWnd.h"
#include "DialogUnits.h"
#include "ViewerIds.h"
#include "ViewerText.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

const auto EndOfSearchText = QStringLiteral("最後まで検索しました。");

} // namespace

CKivLogFindDlg::CKivLogFindDlg(QWidget* parent)
    : QDialog(parent), m_edit(new QLineEdit(this)), m_upwardBox(new QCheckBox(QStringLiteral("上へ検索(&U)"), this))
{
    setWindowTitle(QStringLiteral("検索"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(208, 58));

    m_edit->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcFindText));
    m_edit->setGeometry(units.ToPixels(7, 9, 194, 14));
    auto* search = new QPushButton(QStringLiteral("検索(&F)"), this);
    search->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdOk));
    search->setGeometry(units.ToPixels(151, 35, 50, 14));
    search->setDefault(true);
    m_upwardBox->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcFindUpward));
    m_upwardBox->setGeometry(units.ToPixels(7, 37, 80, 10));
    m_upwardBox->hide();

    connect(m_edit, &QLineEdit::textChanged, this, [this] { m_restart = true; });
    connect(search, &QPushButton::clicked, this, &CKivLogFindDlg::OnSearch);
}

void CKivLogFindDlg::SetSearchText(const QString& text)
{
    m_edit->setText(text);
}

QString CKivLogFindDlg::GetEditText() const
{
    return m_edit->text();
}

void CKivLogFindDlg::OnSearch()
{
    if (m_viewWnd == nullptr) {
        return;
    }
    CKivLogViewCtrl* view = m_viewWnd->GetCurrentLogView();
    if (m_restart) {
        m_searchText = m_edit->text();
        m_upward = m_upwardBox->isChecked();
        if (view != nullptr) {
            view->SetSearchText(m_searchText);
            view->SetSearchPosition(0, 0);
        }
        m_restart = false;
    }
    if (view != nullptr && view->FindNext() != 0) {
        return;
    }
    QMessageBox message(QMessageBox::NoIcon, QString::fromUtf16(ProgramName), EndOfSearchText, QMessageBox::Ok, this);
    message.exec();
    m_restart = true;
}

void CKivLogFindDlg::reject()
{
    QDialog::reject();
    m_restart = true;
}
