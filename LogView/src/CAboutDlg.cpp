// CAboutDlg: fixed places from the template's dialog units.
#include "CAboutDlg.h"

#include "DialogUnits.h"
#include "ViewerIds.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

namespace {

// The icon's edge in pixels: the platform's large icon.
constexpr int IconSize = 32;

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("バージョン情報 KivLogView2"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(194, 81));

    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(IconSize, IconSize));
    icon->setGeometry(QRect(units.ToPixels(11, 17, 0, 0).topLeft(), QSize(IconSize, IconSize)));
    auto* text = new QLabel(QStringLiteral("KivLogView Version 2.1"), this);
    text->setGeometry(units.ToPixels(44, 22, 140, 10));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(ViewerIds::ObjectNameOf(ViewerIds::IdOk));
    ok->setGeometry(units.ToPixels(137, 60, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
