// CKivLogOptionDlg: the template's controls and the font chooser.
#include "CKivLogOptionDlg.h"

#include "DialogUnits.h"
#include "ViewerIds.h"

#include <QFontDialog>
#include <QGroupBox>
#include <QPushButton>

CKivLogOptionDlg::CKivLogOptionDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("設定"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(228, 137));

    auto* group = new QGroupBox(QStringLiteral("フォント"), this);
    group->setGeometry(units.ToPixels(7, 7, 214, 40));
    auto* choose = new QPushButton(QStringLiteral("フォント選択"), this);
    choose->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdcChooseFont));
    choose->setGeometry(units.ToPixels(17, 22, 70, 14));
    choose->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdOk));
    ok->setGeometry(units.ToPixels(117, 116, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdCancel));
    cancel->setGeometry(units.ToPixels(171, 116, 50, 14));
    cancel->setAutoDefault(false);

    connect(choose, &QPushButton::clicked, this, &CKivLogOptionDlg::OnChooseFont);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CKivLogOptionDlg::OnChooseFont()
{
    QFontDialog chooser(ToQFont(m_font), this);
    // Qt's own chooser on every platform, so that the choice is the same everywhere.
    chooser.setOption(QFontDialog::DontUseNativeDialog);
    if (chooser.exec() == QDialog::Accepted) {
        m_font = ToLogFont(chooser.selectedFont(), m_font);
    }
}
