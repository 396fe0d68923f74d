// CDialogUnits: base units from the font, rounded divisions as the platform does them.
#include "DialogUnits.h"

#include <QFont>
#include <QFontMetrics>

#include <algorithm>

namespace {

// round(value * numerator / denominator) for positive values.
int MulDiv(int value, int numerator, int denominator)
{
    return (value * numerator * 2 + denominator) / (denominator * 2);
}

} // namespace

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int total = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (total / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

int CDialogUnits::ToPixelsX(int units) const
{
    return MulDiv(units, m_baseX, 4);
}

int CDialogUnits::ToPixelsY(int units) const
{
    return MulDiv(units, m_baseY, 8);
}

QRect CDialogUnits::ToPixels(int x, int y, int cx, int cy) const
{
    // Both corners are converted, so that neighbouring rectangles keep their shared edges.
    const int left = ToPixelsX(x);
    const int top = ToPixelsY(y);
    return {left, top, ToPixelsX(x + cx) - left, ToPixelsY(y + cy) - top};
}
