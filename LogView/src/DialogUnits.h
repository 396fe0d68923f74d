// Dialog units to pixels. The windows were designed as dialog templates measured in dialog
// units, which scale with the dialog font: one horizontal unit is a quarter of the font's
// average character width, one vertical unit an eighth of its height. The average width is
// that of the 52 Latin letters, rounded as the platform rounds it ((total / 26 + 1) / 2), the
// height is the font's line height. With a 9-point sans-serif font at 96 dpi (average width 7,
// height 14) a template of 608 by 436 units becomes 1064 by 763 pixels. A plain value made on
// the user-interface thread (it measures the font there).
#pragma once

#include <QRect>

class QFont;

class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QSize ToPixels(int cx, int cy) const { return {ToPixelsX(cx), ToPixelsY(cy)}; }
    // A template rectangle given as x, y, width, height in dialog units.
    QRect ToPixels(int x, int y, int cx, int cy) const;

private:
    int m_baseX;
    int m_baseY;
};
