// The option dialog "設定" (template 133, 228 by 137 dialog units): the display font, chosen in
// the font chooser. The dialog works on its own copy of the font record; the main dialog takes
// it back only when the dialog ends with OK, so cancelling keeps the old font even after a font
// was chosen. Modal; user-interface thread only.
#pragma once

#include "LogFont.h"

#include <QDialog>

class CKivLogOptionDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CKivLogOptionDlg(QWidget* parent);

    void SetLogFont(const LOGFONTW& font) { m_font = font; }
    const LOGFONTW& GetLogFont() const { return m_font; }
    // The "フォント選択" button: the font chooser, started on the record's font; its choice
    // replaces the record when it ends with OK.
    void OnChooseFont();

private:
    LOGFONTW m_font;
};
