// ToQFont and ToLogFont: the one place where the settings' font record and a Qt font meet.
#include "LogFont.h"

#include <QFontInfo>
#include <QStringList>

#include <algorithm>
#include <cstdlib>

namespace {

// The record's default height, used for a height of 0 ("any size").
constexpr int DefaultPixelHeight = 12;
// FIXED_PITCH in the low bits of pitch and family.
constexpr BYTE PitchMask = 0x03;
constexpr BYTE FixedPitch = 0x01;
constexpr BYTE VariablePitch = 0x02;
// The families of pitch and family: FF_MODERN for fixed-pitch faces, FF_SWISS for the others.
constexpr BYTE FamilyModern = 0x30;
constexpr BYTE FamilySwiss = 0x20;

} // namespace

QString FaceNameOf(const LOGFONTW& font)
{
    const auto end = std::find(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'\0');
    return QString::fromUtf16(font.lfFaceName, end - std::begin(font.lfFaceName));
}

void SetFaceName(LOGFONTW& font, std::u16string_view name)
{
    std::u16string_view kept = name.substr(0, LfFaceSize - 1);
    if (kept.size() < name.size() && !kept.empty() && QChar::isHighSurrogate(kept.back())) {
        kept.remove_suffix(1);
    }
    std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'\0');
    std::copy(kept.begin(), kept.end(), font.lfFaceName);
}

QFont ToQFont(const LOGFONTW& font)
{
    QFont result;
    result.setPixelSize(font.lfHeight == 0 ? DefaultPixelHeight : std::abs(font.lfHeight));
    // Weights use the same 1 to 1000 scale; 0 means "normal".
    result.setWeight(static_cast<QFont::Weight>(font.lfWeight <= 0 ? 400 : std::min<LONG>(font.lfWeight, 1000)));
    result.setItalic(font.lfItalic != 0);
    result.setUnderline(font.lfUnderline != 0);
    result.setStrikeOut(font.lfStrikeOut != 0);

    const bool fixed = (font.lfPitchAndFamily & PitchMask) == FixedPitch;
    result.setFixedPitch(fixed);
    result.setStyleHint(fixed ? QFont::Monospace : QFont::SansSerif);
    // The face name first when there is one; then a family that has the Japanese glyphs the
    // traces are full of, so that nothing shows as boxes.
    QStringList families;
    if (const QString face = FaceNameOf(font); !face.isEmpty()) {
        families << face;
    }
    families << (fixed ? QStringLiteral("Noto Sans Mono CJK JP") : QStringLiteral("Noto Sans CJK JP"));
    result.setFamilies(families);
    return result;
}

LOGFONTW ToLogFont(const QFont& font, const LOGFONTW& base)
{
    // What the font resolves to on this machine, as it will be drawn.
    const QFontInfo info(font);
    LOGFONTW record = base;
    record.lfHeight = -std::max(1, info.pixelSize());
    record.lfWeight = info.weight();
    record.lfItalic = info.italic() ? 1 : 0;
    record.lfUnderline = font.underline() ? 1 : 0;
    record.lfStrikeOut = font.strikeOut() ? 1 : 0;
    record.lfPitchAndFamily = info.fixedPitch() ? (FixedPitch | FamilyModern) : (VariablePitch | FamilySwiss);
    const QString face = font.family();
    SetFaceName(record, std::u16string_view(reinterpret_cast<const char16_t*>(face.utf16()),
                                            static_cast<std::size_t>(face.size())));
    return record;
}
