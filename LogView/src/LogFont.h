// The display font record the viewer keeps in its settings (the fields of a platform logical
// font), its defaults, and its conversions to and from a Qt font. Plain data; no state of its own.
#pragma once

#include "KivPlatform/Types.h"

#include <QFont>
#include <QString>

#include <string_view>

// Face names hold at most 31 characters and their terminator.
inline constexpr int LfFaceSize = 32;

struct LOGFONTW {
    LONG lfHeight = 12;
    LONG lfWidth = 0;
    LONG lfEscapement = 0;
    LONG lfOrientation = 0;
    LONG lfWeight = 400;
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    BYTE lfStrikeOut = 0;
    BYTE lfCharSet = 128;
    BYTE lfOutPrecision = 0;
    BYTE lfClipPrecision = 0;
    BYTE lfQuality = 0;
    BYTE lfPitchAndFamily = 49;
    char16_t lfFaceName[LfFaceSize] = {};

    bool operator==(const LOGFONTW&) const = default;
};

// The face name as a string (up to the terminator).
QString FaceNameOf(const LOGFONTW& font);
// Sets the face name; a longer name is cut to LfFaceSize - 1 units, never between the two halves
// of a surrogate pair.
void SetFaceName(LOGFONTW& font, std::u16string_view name);

// The Qt font for the record: pixel height (a negative height counts by its magnitude, 0 means
// the default 12), weight, italic, underline, strike-out and face name; an empty face name, or
// pitch and family asking for fixed pitch, picks a Japanese-capable (fixed-pitch) family.
QFont ToQFont(const LOGFONTW& font);
// The record for a font chosen in the font chooser: base with the font's face name, its pixel
// height as a character height (negative), weight, italic, underline, strike-out and pitch;
// the fields a Qt font does not know (character set, precisions, quality, width, angles) stay
// as base has them.
LOGFONTW ToLogFont(const QFont& font, const LOGFONTW& base);
