// The about box (template 100, 194 by 81 dialog units): the application icon, the version text
// and an OK button. Shown modally; user-interface thread only.
#pragma once

#include <QDialog>

class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent);
};
